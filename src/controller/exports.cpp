// The exported C functions: each checks its handle and forwards to the controller object.
#include <climits>

#include "controller/controller.h"
#include "controller/loaders.h"
#include "controller/qel_controller.h"
#include "controller/tms_float.h"

using qel::controller::CController;

namespace {
CController* ctl(ControllerHandle h) { return static_cast<CController*>(h); }
}  // namespace

extern "C" {

ControllerHandle ControllerClassNew(void) {
  // No exception crosses the C interface: a controller that cannot be made (out of memory)
  // is a null handle, which is what the caller tests for.
  try {
    return new CController();
  } catch (...) {
    return nullptr;
  }
}

void ControllerClassDelete(ControllerHandle h) { delete ctl(h); }

int ControllerOpenUSB(ControllerHandle h, int device, int mask) { return h ? ctl(h)->openUsb(device, mask) : 0; }
int ControllerOpenRS232(ControllerHandle h, const char* port, int serialMode, int mask) {
  return h && port ? ctl(h)->openSerial(port, serialMode, mask) : 0;
}
int ControllerOpenTCP(ControllerHandle h, const char* host, int tcpPort, int mask) {
  return h && host ? ctl(h)->openTcp(host, tcpPort, mask) : 0;
}
int ControllerOpenPCI(ControllerHandle h, int card, int mask) { return h ? ctl(h)->openPci(card, mask) : 0; }
int ControllerOpenAdditional(ControllerHandle h, int mask) { return h ? ctl(h)->openAdditional(mask) : 0; }
void ControllerClose(ControllerHandle h, int mask) {
  if (h) ctl(h)->close(mask);
}
void ControllerSetChannelMode(ControllerHandle h, int mode, int force) {
  if (h) ctl(h)->setChannelMode(mode, force != 0);
}
int ControllerGetChannelMode(ControllerHandle h) { return h ? ctl(h)->channelMode() : 0; }
int ControllerIsOpen(ControllerHandle h, int mask) { return h ? ctl(h)->isOpen(mask) : 0; }
int ControllerGetStatus(ControllerHandle h) { return h ? ctl(h)->status() : 0; }
int ControllerGetPortType(ControllerHandle h) { return h ? ctl(h)->portType() : 0; }
int ControllerCanDownload(ControllerHandle h) { return h ? ctl(h)->canDownload() : 0; }
int ControllerCanTableTransfer(ControllerHandle h) { return h ? ctl(h)->canTableTransfer() : 0; }
int ControllerCanVrTransfer(ControllerHandle h) { return h ? ctl(h)->canVrTransfer() : 0; }
int ControllerIsEscapeRemoteChannel(ControllerHandle h) { return h ? ctl(h)->escapeOnRemoteChannel() : 0; }
int ControllerGetTable(ControllerHandle h, int first, int count, double* values) {
  return h ? ctl(h)->getTable(first, count, values) : 0;
}
int ControllerSetTable(ControllerHandle h, int first, int count, const double* values) {
  return h ? ctl(h)->setTable(first, count, values) : 0;
}
int ControllerGetVr(ControllerHandle h, int index, double* value) { return h ? ctl(h)->getVr(index, value) : 0; }
int ControllerSetVr(ControllerHandle h, int index, double value) { return h ? ctl(h)->setVr(index, value) : 0; }
int ControllerOpenCaptureFile(ControllerHandle h, const char* path) {
  return h && path ? ctl(h)->openCaptureFile(path) : 0;
}
void ControllerStartCapture(ControllerHandle h, int channel) {
  if (h) ctl(h)->startCapture(channel);
}
void ControllerStopCapture(ControllerHandle h, int channel) {
  if (h) ctl(h)->stopCapture(channel);
}
void ControllerCloseCaptureFile(ControllerHandle h) {
  if (h) ctl(h)->closeCaptureFile();
}
void ControllerFlush(ControllerHandle h, int channel) {
  if (h) ctl(h)->flush(channel);
}
int ControllerRead(ControllerHandle h, int channel, char* buffer, int* length) {
  if (!h || !buffer || !length || *length < 0) return 0;
  std::size_t n = static_cast<std::size_t>(*length);
  const int ok = ctl(h)->read(channel, reinterpret_cast<std::uint8_t*>(buffer), &n);
  *length = ok ? static_cast<int>(n) : 0;
  return ok;
}
int ControllerWrite(ControllerHandle h, int channel, const char* buffer, int length) {
  if (!h || !buffer || length < 0) return 0;
  return ctl(h)->write(channel, reinterpret_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(length));
}
uint32_t ControllerFloatToTms(ControllerHandle h, float value) {
  return h ? qel::controller::floatToTms(value) : 0;
}
float ControllerTmsToFloat(ControllerHandle h, uint32_t value) {
  return h ? qel::controller::tmsToFloat(value) : 0.0f;
}
int ControllerProgramLoad(ControllerHandle h, const char* path, void* window) {
  return h && path ? qel::controller::programLoad(*ctl(h), path, window) : 0;
}
int ControllerProjectLoad(ControllerHandle h, const char* path, void* window) {
  return h && path ? qel::controller::projectLoad(*ctl(h), path, window) : 0;
}
// Saving and checking are not offered: the three names share this body.
static int notImplemented(ControllerHandle, const char*, void*) { return 0; }
int ControllerProgramSave(ControllerHandle h, const char* path, void* window) { return notImplemented(h, path, window); }
int ControllerProjectSave(ControllerHandle h, const char* path, void* window) { return notImplemented(h, path, window); }
int ControllerProjectCheck(ControllerHandle h, const char* path, void* window) { return notImplemented(h, path, window); }
int ControllerSystemSoftwareLoad(ControllerHandle h, const char* path, void* window) {
  return h && path ? qel::controller::systemSoftwareLoad(*ctl(h), path, window) : 0;
}
void ControllerSetCancel(ControllerHandle h, int flag) {
  if (h) ctl(h)->setCancel(flag);
}
int ControllerGetCancel(ControllerHandle h) { return h ? ctl(h)->cancel() : 0; }

void QelControllerSetHostCallback(ControllerHandle h, ControllerHostCallback cb, void* user) {
  if (h) ctl(h)->setHostCallback(cb, user);
}
void QelControllerSetMessageHandler(ControllerHandle h, ControllerMessageHandler fn, void* user) {
  if (!h) return;
  if (fn)
    ctl(h)->setMessageSink([fn, user](const std::string& t) { fn(user, t.c_str()); });
  else
    ctl(h)->setMessageSink(nullptr);
}

}  // extern "C"
