PUBLIC microcode, microcode_size
.data
microcode:
INCLUDE patch.INC
microcode_end:
microcode_size DD microcode_end - microcode
END
