/* Writes the microcode image that was assembled into the program. */
#include <stdint.h>
#include <stdio.h>

extern const unsigned char microcode[];
extern const uint32_t microcode_size;

int main(void) {
  return fwrite(microcode, 1, microcode_size, stdout) == microcode_size && fflush(stdout) == 0
             ? 0
             : 1;
}
