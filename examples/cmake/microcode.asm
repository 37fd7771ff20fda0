; The converted image as read-only data, with its size, for C.
section .rodata
global microcode, microcode_size
microcode:
%include "patch.INC"
microcode_size: dd $ - microcode

; The program needs no executable stack.
section .note.GNU-stack noalloc noexec nowrite progbits
