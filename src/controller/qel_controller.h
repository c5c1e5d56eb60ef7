/* Motion coordinator communication library: the exported C interface.
 *
 * Every function takes a controller handle first. A null handle gives 0 (or does nothing), and
 * functions that need the port give 0 while no port is open. Sub-port masks: 1 MPE, 2 REMOTE,
 * 4 or 8 MEMORY (PCI). Channels: 0, 5, 6, 7, 8, 9, -1 and 98 (REMOTE); 157 selects raw port
 * traffic for capture.
 */
#ifndef QEL_CONTROLLER_H
#define QEL_CONTROLLER_H

#include <stdint.h>

#if defined(QEL_CONTROLLER_BUILDING_SHARED)
#define QEL_CONTROLLER_API __attribute__((visibility("default")))
#else
#define QEL_CONTROLLER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void* ControllerHandle;

/* Host notifications: 0x502 progress (first parameter percentage, second a text or a program
 * path), 0x503 project key request (second parameter: a char buffer of 256 bytes to fill; answer
 * 0 to refuse), 0x504 reconnection (first parameter 1 at the start with the address of an int32
 * cancel word as second, 0 at the end). */
typedef intptr_t (*ControllerHostCallback)(void* user, void* window, unsigned int message, uintptr_t wparam,
                                           intptr_t lparam);
/* Texts the library would show in a message box; without a handler they go to standard error. */
typedef void (*ControllerMessageHandler)(void* user, const char* text);

QEL_CONTROLLER_API ControllerHandle ControllerClassNew(void);
QEL_CONTROLLER_API void ControllerClassDelete(ControllerHandle h);
QEL_CONTROLLER_API int ControllerOpenUSB(ControllerHandle h, int device, int mask);
QEL_CONTROLLER_API int ControllerOpenRS232(ControllerHandle h, const char* port, int serialMode, int mask);
QEL_CONTROLLER_API int ControllerOpenTCP(ControllerHandle h, const char* host, int tcpPort, int mask);
QEL_CONTROLLER_API int ControllerOpenPCI(ControllerHandle h, int card, int mask);
QEL_CONTROLLER_API int ControllerOpenAdditional(ControllerHandle h, int mask);
QEL_CONTROLLER_API void ControllerClose(ControllerHandle h, int mask);
QEL_CONTROLLER_API void ControllerSetChannelMode(ControllerHandle h, int mode, int force);
QEL_CONTROLLER_API int ControllerGetChannelMode(ControllerHandle h);
QEL_CONTROLLER_API int ControllerIsOpen(ControllerHandle h, int mask);
QEL_CONTROLLER_API int ControllerGetStatus(ControllerHandle h);
QEL_CONTROLLER_API int ControllerGetPortType(ControllerHandle h);
QEL_CONTROLLER_API int ControllerCanDownload(ControllerHandle h);
QEL_CONTROLLER_API int ControllerCanTableTransfer(ControllerHandle h);
QEL_CONTROLLER_API int ControllerCanVrTransfer(ControllerHandle h);
QEL_CONTROLLER_API int ControllerIsEscapeRemoteChannel(ControllerHandle h);
QEL_CONTROLLER_API int ControllerGetTable(ControllerHandle h, int first, int count, double* values);
QEL_CONTROLLER_API int ControllerSetTable(ControllerHandle h, int first, int count, const double* values);
QEL_CONTROLLER_API int ControllerGetVr(ControllerHandle h, int index, double* value);
QEL_CONTROLLER_API int ControllerSetVr(ControllerHandle h, int index, double value);
QEL_CONTROLLER_API int ControllerOpenCaptureFile(ControllerHandle h, const char* path);
QEL_CONTROLLER_API void ControllerStartCapture(ControllerHandle h, int channel);
QEL_CONTROLLER_API void ControllerStopCapture(ControllerHandle h, int channel);
QEL_CONTROLLER_API void ControllerCloseCaptureFile(ControllerHandle h);
QEL_CONTROLLER_API void ControllerFlush(ControllerHandle h, int channel);
/* *length: the buffer's size in, the count read out. Refuses a null buffer or a negative length. */
QEL_CONTROLLER_API int ControllerRead(ControllerHandle h, int channel, char* buffer, int* length);
QEL_CONTROLLER_API int ControllerWrite(ControllerHandle h, int channel, const char* buffer, int length);
QEL_CONTROLLER_API uint32_t ControllerFloatToTms(ControllerHandle h, float value);
QEL_CONTROLLER_API float ControllerTmsToFloat(ControllerHandle h, uint32_t value);
QEL_CONTROLLER_API int ControllerProgramLoad(ControllerHandle h, const char* path, void* window);
QEL_CONTROLLER_API int ControllerProjectLoad(ControllerHandle h, const char* path, void* window);
QEL_CONTROLLER_API int ControllerProgramSave(ControllerHandle h, const char* path, void* window);
QEL_CONTROLLER_API int ControllerProjectSave(ControllerHandle h, const char* path, void* window);
QEL_CONTROLLER_API int ControllerProjectCheck(ControllerHandle h, const char* path, void* window);
QEL_CONTROLLER_API int ControllerSystemSoftwareLoad(ControllerHandle h, const char* path, void* window);
QEL_CONTROLLER_API void ControllerSetCancel(ControllerHandle h, int flag);
QEL_CONTROLLER_API int ControllerGetCancel(ControllerHandle h);

/* Host services of this platform (not part of the 38 Controller functions). */
QEL_CONTROLLER_API void QelControllerSetHostCallback(ControllerHandle h, ControllerHostCallback cb, void* user);
QEL_CONTROLLER_API void QelControllerSetMessageHandler(ControllerHandle h, ControllerMessageHandler fn, void* user);

#ifdef __cplusplus
}
#endif

#endif /* QEL_CONTROLLER_H */
