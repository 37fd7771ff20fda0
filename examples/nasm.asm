section .data
microcode:
%include "patch.INC"
microcode_end:
