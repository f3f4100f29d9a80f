#include "main.h"

int main(int argc, char **argv) {
  return quadsmith_main(argc, argv);
}
