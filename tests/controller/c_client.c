/* An outside program: loads the controller library with dlopen and downloads a file to the
 * coordinator simulator. Usage: c_client LIB ADDRESS PORT */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "controller/qel_controller.h"

/* Each function under its own name, as a pointer of the header's type found in the library. */
#define LOAD(name) __typeof__(name)* name; *(void**)&name = dlsym(lib, #name); if (!name) { fprintf(stderr, "missing %s\n", #name); return 2; }
#define CHECK(cond) do { if (!(cond)) { fprintf(stderr, "failed: %s (line %d)\n", #cond, __LINE__); return 1; } } while (0)

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!lib) { fprintf(stderr, "%s\n", dlerror()); return 2; }
  LOAD(ControllerClassNew) LOAD(ControllerClassDelete) LOAD(ControllerOpenTCP) LOAD(ControllerClose)
  LOAD(ControllerRead) LOAD(ControllerWrite)

  ControllerHandle h = ControllerClassNew();
  CHECK(h != NULL);
  CHECK(ControllerOpenTCP(h, argv[2], atoi(argv[3]), 1) == 1);
  const char* frame = "\x01SD:demo.plt\x02PU0,0;PD100,0;\x03";
  CHECK(ControllerWrite(h, 0, frame, (int)strlen(frame)) == 1);
  char reply[64] = {0};
  int got = 0;
  for (int i = 0; i < 3000 && (got == 0 || reply[got - 1] != '\x03'); ++i) {
    int len = (int)sizeof reply - 1 - got;
    CHECK(ControllerRead(h, 0, reply + got, &len) == 1);
    got += len;
    if (len == 0) usleep(1000);
  }
  CHECK(got > 5 && memcmp(reply, "\x02" "CRC=", 5) == 0);
  ControllerClose(h, -1);
  ControllerClassDelete(h);
  dlclose(lib);
  puts("c client ok");
  return 0;
}
