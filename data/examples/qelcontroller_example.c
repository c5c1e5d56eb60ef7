/* An outside program built against the installed controller library: pkg-config gives the
 * flags. Without arguments it only checks the library answers; with ADDRESS it asks the
 * coordinator at ADDRESS (TCP 3240) for its status.
 *   cc qelcontroller_example.c $(pkg-config --cflags --libs qelcontroller) -o example */
#include <qel_controller.h>
#include <stdio.h>

int main(int argc, char** argv) {
  ControllerHandle h = ControllerClassNew();
  if (!h) {
    fprintf(stderr, "example: no controller handle\n");
    return 1;
  }
  /* 1.5 in the coordinator's float format and back. */
  const uint32_t tms = ControllerFloatToTms(h, 1.5f);
  const float back = ControllerTmsToFloat(h, tms);
  printf("1.5 is 0x%08x in the coordinator's format, read back as %g\n", (unsigned)tms, back);
  int rc = back == 1.5f ? 0 : 1;
  if (ControllerIsOpen(h, 1)) rc = 1; /* nothing opened yet */
  if (argc > 1) {
    if (ControllerOpenTCP(h, argv[1], 3240, 1)) {
      printf("connected to %s, status %d\n", argv[1], ControllerGetStatus(h));
      ControllerClose(h, 1);
    } else {
      printf("cannot connect to %s\n", argv[1]);
      rc = 1;
    }
  }
  ControllerClassDelete(h);
  return rc;
}
