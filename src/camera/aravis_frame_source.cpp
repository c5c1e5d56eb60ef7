#include "camera/aravis_frame_source.h"

#include <cstdlib>
#include <memory>

#include <arv.h>

#include "camera/mark_detector.h"

namespace qel::camera {

namespace {

std::string takeError(GError*& error, const char* what) {
  std::string text = what;
  if (error) {
    text += ": ";
    text += error->message;
    g_clear_error(&error);
  }
  return text;
}

void chooseInterfaces(const AravisOptions& o) {
  std::vector<std::string> wanted = o.interfaces;
  if (wanted.empty()) {
    const char* guard = std::getenv("QELCUT_LOOPBACK_ONLY");
    if (!(guard && *guard && std::string(guard) != "0")) wanted.push_back("GigEVision");
    wanted.push_back("USB3Vision");
  }
  for (const char* name : {"GigEVision", "USB3Vision", "Fake"}) arv_disable_interface(name);
  for (const auto& name : wanted) arv_enable_interface(name.c_str());
}

struct Unref {
  void operator()(void* p) const {
    if (p) g_object_unref(p);
  }
};

}  // namespace

AravisFrameSource::AravisFrameSource(AravisOptions options) : options_(std::move(options)) {}

AravisFrameSource::~AravisFrameSource() { joinThread(); }

bool AravisFrameSource::setFeature(const std::string& name, const std::string& value) {
  auto* camera = static_cast<ArvCamera*>(camera_);
  if (!camera) return false;
  GError* error = nullptr;
  arv_camera_set_string(camera, name.c_str(), value.c_str(), &error);
  if (error) {
    g_clear_error(&error);
    return false;
  }
  return true;
}

bool AravisFrameSource::setFrameRate(double framesPerSecond) {
  auto* camera = static_cast<ArvCamera*>(camera_);
  if (!camera) return false;
  GError* error = nullptr;
  arv_camera_set_frame_rate(camera, framesPerSecond, &error);
  if (error) {
    g_clear_error(&error);
    return false;
  }
  return true;
}

ThreadedFrameSource::GrabEnd AravisFrameSource::grab(FrameConsumer& consumer) {
  chooseInterfaces(options_);
  arv_update_device_list();
  if (arv_get_n_devices() == 0) return {"no camera found", true};

  GError* error = nullptr;
  // The first camera of the device list (a null name does not find every interface's devices).
  std::unique_ptr<ArvCamera, Unref> camera(arv_camera_new(arv_get_device_id(0), &error));
  if (!camera) return {takeError(error, "no camera found"), true};
  arv_camera_set_integer(camera.get(), "Width", kFrameWidth, &error);
  if (error) return {takeError(error, "Width")};
  arv_camera_set_integer(camera.get(), "Height", kFrameHeight, &error);
  if (error) return {takeError(error, "Height")};
  arv_camera_set_pixel_format(camera.get(), ARV_PIXEL_FORMAT_MONO_8, &error);
  if (error) return {takeError(error, "PixelFormat")};
  // A camera that keeps another size or format would hand over buffers that are not our frame.
  const gint64 width = arv_camera_get_integer(camera.get(), "Width", &error);
  const gint64 height = error ? 0 : arv_camera_get_integer(camera.get(), "Height", &error);
  if (error) return {takeError(error, "frame size")};
  if (width != kFrameWidth || height != kFrameHeight)
    return {"the camera keeps a frame of " + std::to_string(width) + " x " + std::to_string(height)};

  std::unique_ptr<ArvStream, Unref> stream(arv_camera_create_stream(camera.get(), nullptr, nullptr, &error));
  if (!stream) return {takeError(error, "stream")};
  const guint payload = arv_camera_get_payload(camera.get(), &error);
  if (error) return {takeError(error, "payload")};
  for (int i = 0; i < options_.bufferCount; ++i) arv_stream_push_buffer(stream.get(), arv_buffer_new(payload, nullptr));
  arv_camera_start_acquisition(camera.get(), &error);
  if (error) return {takeError(error, "start acquisition")};
  camera_ = camera.get();

  GrabEnd end;
  consumer.onCameraState(CameraState::Grabbing);
  while (!stopRequested()) {
    ArvBuffer* buffer =
        arv_stream_timeout_pop_buffer(stream.get(), static_cast<guint64>(options_.timeoutMs) * 1000);
    if (!buffer) {
      end.failure = "no frame within " + std::to_string(options_.timeoutMs) + " ms";
      break;
    }
    // A failed grab result is skipped.
    if (arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS &&
        arv_buffer_get_image_width(buffer) == kFrameWidth && arv_buffer_get_image_height(buffer) == kFrameHeight &&
        arv_buffer_get_image_pixel_format(buffer) == ARV_PIXEL_FORMAT_MONO_8) {
      size_t size = 0;
      const void* data = arv_buffer_get_image_data(buffer, &size);
      if (data && size >= static_cast<size_t>(kFrameWidth) * kFrameHeight) {
        // No copy: the frame points into the camera's buffer until it is queued again.
        const cv::Mat frame(kFrameHeight, kFrameWidth, CV_8UC1, const_cast<void*>(data));
        consumer.onFrame(frame);
      }
    }
    arv_stream_push_buffer(stream.get(), buffer);
  }
  camera_ = nullptr;
  // A camera that stopped delivering may take long to stop: the failure is told first.
  if (!end.failure.empty()) reportEnd(consumer, end);
  arv_camera_stop_acquisition(camera.get(), &error);
  g_clear_error(&error);
  return end;
}

}  // namespace qel::camera
