// Dispose throughput and peak memory on a large generated plot file.
//
//   plot_dispose_bench [SIZE_MB] [--keep FILE]
//
// Generates a deterministic plot file of about SIZE_MB megabytes (default 50) of PU/PD/SP
// commands, then disposes of it in a child process per configuration (copy-through, mode 5,
// mode 4) and prints MB/s and the child's peak resident memory. When hp2xx is installed it
// converts the same file (hp2xx -q -m hpgl) for comparison.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "plot/dispose_file.h"

using namespace qel::plot;

namespace {

struct NullOwner : DisposeOwner {
  void addOutputFileReport(const OutputFileReport&) override {}
};

void generate(const std::string& path, double megabytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::mt19937 rng(20261207);
  const std::size_t target = static_cast<std::size_t>(megabytes * 1024 * 1024);
  std::size_t written = 0;
  std::string chunk;
  written += std::fprintf(f, "IN;");
  // Shapes along a roll 20 m long and 1.2 m wide: contours of 20 to 200 points.
  while (written < target) {
    chunk.clear();
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "SP%u;", static_cast<unsigned>(1 + rng() % 4));
    chunk.append(buf, n);
    double cx = rng() % 800000, cy = rng() % 48000, r = 40 + rng() % 4000;
    int points = 20 + static_cast<int>(rng() % 180);
    n = std::snprintf(buf, sizeof buf, "PU%.0f,%.0f;PD", cx + r, cy);
    chunk.append(buf, n);
    for (int i = 1; i <= points; ++i) {
      double a = 6.283185307179586 * i / points;
      bool decimals = (i % 7) == 0;
      n = decimals ? std::snprintf(buf, sizeof buf, "%.1f,%.1f%s", cx + r * std::cos(a), cy + r * std::sin(a),
                                   i == points ? ";" : ",")
                   : std::snprintf(buf, sizeof buf, "%.0f,%.0f%s", cx + r * std::cos(a), cy + r * std::sin(a),
                                   i == points ? ";" : ",");
      chunk.append(buf, n);
    }
    written += std::fwrite(chunk.data(), 1, chunk.size(), f);
  }
  std::fprintf(f, "PU0,0;SP0;");
  std::fclose(f);
}

struct Result {
  double seconds = 0;
  double cpuSeconds = 0;
  long peakKb = 0;
  bool ok = false;
};

template <class Fn>
Result inChild(Fn fn) {
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) _exit(fn() ? 0 : 1);
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  Result r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.peakKb = ru.ru_maxrss;
  r.cpuSeconds = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  double mb = 50;
  std::string keep;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--keep" && i + 1 < argc)
      keep = argv[++i];
    else
      mb = std::atof(argv[i]);
  }
  const std::string dir = (std::filesystem::temp_directory_path() / ("qelcut-bench-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(dir);
  const std::string input = keep.empty() ? dir + "/big.plt" : keep;
  if (keep.empty() || !std::filesystem::exists(input)) generate(input, mb);
  const double sizeMb = std::filesystem::file_size(input) / (1024.0 * 1024.0);
  std::printf("input: %s, %.1f MB\n", input.c_str(), sizeMb);

  struct Config {
    const char* name;
    DisposeOptions options;
  };
  DisposeOptions copy;
  copy.optimizeFunction = copy.splitPageEnabled = false;
  DisposeOptions mode5;
  mode5.cutFt = 5;
  mode5.fontDisposeEnabled = false;
  DisposeOptions mode4 = mode5;
  mode4.cutFt = 4;
  const Config configs[] = {{"copy-through", copy}, {"mode 5", mode5}, {"mode 4", mode4}};

  double mode5Rate = 0;
  for (const auto& c : configs) {
    const std::string out = dir + "/out";
    std::filesystem::remove_all(out);
    Result r = inChild([&] {
      NullOwner owner;
      CDisposeFile file(&owner, input, out, "BENCH", c.options);
      return file.dispose();
    });
    const double rate = sizeMb / r.seconds;
    if (std::string(c.name) == "mode 5") mode5Rate = rate;
    std::printf("%-13s %s %6.2f s %7.1f MB/s  (cpu %5.2f s %7.1f MB/s)  peak memory %6.1f MB (%.2f x input)\n",
                c.name, r.ok ? "ok  " : "FAIL", r.seconds, rate, r.cpuSeconds, sizeMb / r.cpuSeconds,
                r.peakKb / 1024.0, r.peakKb / 1024.0 / sizeMb);
  }

  if (std::system("command -v hp2xx >/dev/null 2>&1") == 0) {
    const std::string cmd = "cd " + dir + " && hp2xx -q -m hpgl -f " + dir + "/hp2xx.hpgl " + input + " >/dev/null 2>&1";
    Result r = inChild([&] { return std::system(cmd.c_str()) == 0; });
    const double rate = sizeMb / r.seconds;
    std::printf("%-13s %s %6.2f s %7.1f MB/s  (cpu %5.2f s %7.1f MB/s)  mode 5 is %.1f x hp2xx\n", "hp2xx",
                r.ok ? "ok  " : "FAIL", r.seconds, rate, r.cpuSeconds, sizeMb / r.cpuSeconds, mode5Rate / rate);
  } else {
    std::printf("hp2xx not installed: no comparison\n");
  }
  std::filesystem::remove_all(dir + "/out");
  if (keep.empty()) std::filesystem::remove_all(dir);
  return 0;
}
