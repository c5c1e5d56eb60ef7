#pragma once
// Where a simulated machine keeps the files it receives: one folder, each file under the next
// number after the highest there, so that no received file ever replaces another (not even one
// of an earlier run into the same folder) and the numbers tell the order they came in.
#include <functional>
#include <mutex>
#include <string>

namespace qel::sim {

class ReceivedStore {
 public:
  // nameFor(n, name) makes the file name of number n (1, 2, ...) for a file the sender called
  // name (empty when the protocol names none): "job_001.plt", "0001_CUT.BAS".
  using NameFor = std::function<std::string(int n, const std::string& name)>;
  ReceivedStore(std::string dir, NameFor nameFor);
  // Any thread. The path the data was written to, or empty with the reason in *error.
  std::string keep(const std::string& name, const std::string& data, std::string* error);
  const std::string& dir() const { return dir_; }

 private:
  const std::string dir_;
  const NameFor nameFor_;
  std::mutex mutex_;
  bool scanned_ = false;  // next_ found from the folder at the first file
  int next_ = 1;
};

}  // namespace qel::sim
