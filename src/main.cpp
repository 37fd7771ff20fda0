// Process entry: hands the command line to the driver.
#include "driver.h"

int main(int argc, char *argv[]) {
  return runConverter(argc, argv);
}
