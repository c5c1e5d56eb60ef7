/* An outside program: loads the controller library with dlopen and talks to the coordinator
 * simulator through the exported functions. Usage: c_client LIB ADDRESS PORT WORKDIR */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "controller/qel_controller.h"

#define LOAD(name) name##_t name = (name##_t)dlsym(lib, #name); if (!name) { fprintf(stderr, "missing %s\n", #name); return 2; }
#define CHECK(cond) do { if (!(cond)) { fprintf(stderr, "failed: %s (line %d)\n", #cond, __LINE__); return 1; } } while (0)

typedef ControllerHandle (*ControllerClassNew_t)(void);
typedef void (*ControllerClassDelete_t)(ControllerHandle);
typedef int (*ControllerOpenTCP_t)(ControllerHandle, const char*, int, int);
typedef void (*ControllerClose_t)(ControllerHandle, int);
typedef void (*ControllerSetChannelMode_t)(ControllerHandle, int, int);
typedef int (*ControllerGetChannelMode_t)(ControllerHandle);
typedef int (*ControllerGetStatus_t)(ControllerHandle);
typedef int (*ControllerGetPortType_t)(ControllerHandle);
typedef int (*ControllerRead_t)(ControllerHandle, int, char*, int*);
typedef int (*ControllerWrite_t)(ControllerHandle, int, const char*, int);
typedef uint32_t (*ControllerFloatToTms_t)(ControllerHandle, float);
typedef int (*ControllerProgramLoad_t)(ControllerHandle, const char*, void*);
typedef void (*QelControllerSetHostCallback_t)(ControllerHandle, ControllerHostCallback, void*);

static int progressCalls = 0;
static intptr_t host(void* user, void* window, unsigned message, uintptr_t w, intptr_t l) {
  (void)user; (void)window; (void)w; (void)l;
  if (message == 0x502) progressCalls++;
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!lib) { fprintf(stderr, "%s\n", dlerror()); return 2; }
  LOAD(ControllerClassNew) LOAD(ControllerClassDelete) LOAD(ControllerOpenTCP) LOAD(ControllerClose)
  LOAD(ControllerSetChannelMode) LOAD(ControllerGetChannelMode) LOAD(ControllerGetStatus)
  LOAD(ControllerGetPortType) LOAD(ControllerRead) LOAD(ControllerWrite) LOAD(ControllerFloatToTms)
  LOAD(ControllerProgramLoad) LOAD(QelControllerSetHostCallback)

  CHECK(ControllerGetStatus(NULL) == 0);
  ControllerHandle h = ControllerClassNew();
  CHECK(h != NULL);
  CHECK(ControllerFloatToTms(h, -1.0f) == 0xFF800000u);
  CHECK(ControllerOpenTCP(h, argv[2], atoi(argv[3]), 1) == 1);
  CHECK(ControllerGetPortType(h) == 4);
  CHECK(ControllerGetStatus(h) == 0xFF00);
  QelControllerSetHostCallback(h, host, NULL);

  /* a file download on channel 7 in multiplexed mode */
  CHECK(ControllerWrite(h, 0, "MPE(1)\r", 7) == 1);
  ControllerSetChannelMode(h, 1, 0);
  CHECK(ControllerGetChannelMode(h) == 1);
  const char* frame = "\x01SD:demo.plt\x02PU0,0;PD100,0;\x03";
  CHECK(ControllerWrite(h, 7, frame, (int)strlen(frame)) == 1);
  char reply[64] = {0};
  int got = 0;
  for (int i = 0; i < 3000 && (got == 0 || reply[got - 1] != '\x03'); ++i) {
    int len = (int)sizeof reply - 1 - got;
    CHECK(ControllerRead(h, 7, reply + got, &len) == 1);
    got += len;
    if (len == 0) usleep(1000);
  }
  CHECK(got > 5 && memcmp(reply, "\x02" "CRC=", 5) == 0);

  /* a program load in multiplexed mode */
  char path[512];
  snprintf(path, sizeof path, "%s/DEMO.bas", argv[4]);
  FILE* f = fopen(path, "wb");
  CHECK(f != NULL);
  fputs("PRINT \"HELLO\"\r\n", f);
  fclose(f);
  CHECK(ControllerProgramLoad(h, path, NULL) == 1);
  CHECK(progressCalls >= 2);

  int bad = -1;
  CHECK(ControllerRead(h, 0, reply, &bad) == 0);
  CHECK(ControllerWrite(h, 0, NULL, 3) == 0);
  ControllerSetChannelMode(h, 0, 0);
  ControllerClose(h, -1);
  CHECK(ControllerGetPortType(h) == 0);
  ControllerClassDelete(h);
  dlclose(lib);
  puts("c client ok");
  return 0;
}
