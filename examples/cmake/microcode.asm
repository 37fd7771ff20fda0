; The converted image as read-only data, with its size, for C.
section .rodata
global microcode, microcode_size
microcode:
%include "patch.INC"
microcode_size: dd $ - microcode
