.data
microcode:
INCLUDE patch.INC
END
