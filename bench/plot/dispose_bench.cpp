// Dispose throughput and peak memory, measured as a user runs it: the whole `qelcut dispose`
// process on generated plot files, beside hp2xx on the same files.
//
//   plot_dispose_bench [--quick] [--sizes 10,50,200] [--shapes strokes,boxes] [--dir DIR]
//                      [--inputs DIR] [--qelcut PATH]
//   plot_dispose_bench --generate SHAPE MB FILE
//
// Shapes (all deterministic, all with pen changes and one "PD x,y;" per point, as design
// programs write them):
//   strokes  random open strokes of 2 to 60 points anywhere on a 20 m roll, 1.2 m wide;
//   boxes    "letters in boxes": boxes along a 20 m roll, each holding rows of small closed
//            letters, some with a hole (a contour inside a contour);
//   labels   boxes with "LB" labels beside them;
//   circles  boxes with "CI" circles inside them;
//   roll     a long roll of boxes with letters inside: 25 rows of 40 mm boxes, each holding
//            4 small closed letters; the roll grows with the file (200 MB is about 200 m);
//   pens     random open strokes of 2 to 9 points, with a pen change before every stroke.
// For each shape and size it runs copy-through and modes 4, 5, 6 and 8, then `hp2xx -q -m hpgl`,
// and prints MB/s (wall and CPU), the ratio to hp2xx, the peak memory per input byte, and at
// the end how each configuration's time grew from the 50 MB to the 200 MB file. --quick uses
// 2, 5 and 20 MB. Generated files go to DIR (default /tmp) and are deleted afterwards; with
// --inputs they are kept in that folder as SHAPE_SIZE.plt and used again by later runs.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Roll 20 m long (800,000 units) and 1.2 m wide (48,000 units).
constexpr int kRollLength = 800000;
constexpr int kRollWidth = 48000;

class Writer {
 public:
  explicit Writer(const std::string& path) : f_(std::fopen(path.c_str(), "wb")) {
    if (!f_) {
      std::perror(path.c_str());
      std::exit(1);
    }
  }
  ~Writer() { std::fclose(f_); }
  void text(const char* s) { add(s, std::strlen(s)); }
  void pu(long x, long y) { cmd("PU", x, y); }
  void pd(long x, long y) { cmd("PD", x, y); }
  void sp(int pen) {
    char b[16];
    add(b, std::snprintf(b, sizeof b, "SP%d;", pen));
  }
  size_t written() const { return written_; }

 private:
  void cmd(const char* c, long x, long y) {
    char b[48];
    add(b, std::snprintf(b, sizeof b, "%s%ld,%ld;", c, x, y));
  }
  void add(const char* s, size_t n) {
    std::fwrite(s, 1, n, f_);
    written_ += n;
  }
  std::FILE* f_;
  size_t written_ = 0;
};

// A closed polygon of `points` corners around (cx, cy), radius r, drawn with one PD per point.
void ring(Writer& w, std::mt19937& rng, long cx, long cy, long r, int points) {
  const double turn = (rng() % 1000) / 1000.0;
  auto at = [&](int i, long& x, long& y) {
    const double a = 6.283185307179586 * (i + turn) / points;
    x = cx + std::lround(r * std::cos(a));
    y = cy + std::lround(r * std::sin(a));
  };
  long x, y;
  at(0, x, y);
  w.pu(x, y);
  for (int i = 1; i <= points; ++i) {
    at(i % points, x, y);
    w.pd(x, y);
  }
}

// An open stroke of 2 to maxMoves + 1 points anywhere on the roll, each a random step from the last.
void randomStroke(Writer& w, std::mt19937& rng, int maxMoves) {
  long x = rng() % kRollLength, y = rng() % kRollWidth;
  w.pu(x, y);
  const int n = 1 + static_cast<int>(rng() % static_cast<unsigned>(maxMoves));
  for (int i = 0; i < n; ++i) {
    x = std::clamp<long>(x + static_cast<long>(rng() % 801) - 400, 0, kRollLength);
    y = std::clamp<long>(y + static_cast<long>(rng() % 801) - 400, 0, kRollWidth);
    w.pd(x, y);
  }
}

void box(Writer& w, long x0, long y0, long x1, long y1) {
  w.pu(x0, y0);
  w.pd(x1, y0);
  w.pd(x1, y1);
  w.pd(x0, y1);
  w.pd(x0, y0);
}

bool generate(const std::string& shape, double megabytes, const std::string& path) {
  const size_t target = static_cast<size_t>(megabytes * 1024 * 1024);
  std::mt19937 rng(20261208);
  Writer w(path);
  w.text("IN;");
  if (shape == "strokes") {
    while (w.written() < target) {
      w.sp(1 + rng() % 4);
      for (int k = 0; k < 20 && w.written() < target; ++k) randomStroke(w, rng, 59);
    }
  } else if (shape == "pens") {
    while (w.written() < target) {
      w.sp(1 + rng() % 4);
      randomStroke(w, rng, 8);
    }
  } else if (shape == "roll") {
    // Columns of 25 boxes, 40 mm with 7.5 mm between them, one column after another along
    // the roll until the file has its size; 2 x 2 letters in each box.
    const long side = 1600, pitch = 1900;
    for (long col = 0; w.written() < target; ++col) {
      const long bx = col * pitch;
      for (int row = 0; row < 25 && w.written() < target; ++row) {
        const long by = row * pitch;
        w.sp(1);
        box(w, bx, by, bx + side, by + side);
        w.sp(2);
        for (int k = 0; k < 4; ++k)
          ring(w, rng, bx + 400 + (k % 2) * 800, by + 400 + (k / 2) * 800, 300, 16 + rng() % 16);
      }
    }
  } else if (shape == "boxes" || shape == "labels" || shape == "circles") {
    // Boxes are laid out over the whole roll and the roll is filled again, box over box, until
    // the file has its size: a bigger file is a denser roll of the same length.
    const long boxW = 6000, boxH = 4000;
    while (w.written() < target) {
      for (long bx = 0; bx + boxW <= kRollLength && w.written() < target; bx += boxW + 400) {
        const long by = rng() % (kRollWidth - boxH);
        const long ox = bx + static_cast<long>(rng() % 300);
        w.sp(1);
        box(w, ox, by, ox + boxW, by + boxH);
        w.sp(2);
        // Rows of letters inside: each a closed contour, every third with a hole.
        for (long ly = by + 600; ly + 600 <= by + boxH; ly += 1200)
          for (long lx = ox + 600; lx + 600 <= ox + boxW; lx += 1000) {
            const int pts = 8 + rng() % 24;
            ring(w, rng, lx, ly, 400, pts);
            if (rng() % 3 == 0) ring(w, rng, lx, ly, 150, 6 + rng() % 6);
          }
        if (shape == "labels") {
          char b[128];
          std::snprintf(b, sizeof b, "SP3;PU%ld,%ld;DI1,0;SI0.3,0.4;LBBOX %ld\x03", ox, by + boxH + 100, bx / 6400);
          w.text(b);
        } else if (shape == "circles") {
          char b[96];
          std::snprintf(b, sizeof b, "SP4;PU%ld,%ld;CI%ld;", ox + boxW / 2, by + boxH / 2, 200 + rng() % 1500);
          w.text(b);
        }
      }
    }
  } else {
    return false;
  }
  w.text("PU0,0;SP0;");
  return true;
}

struct Result {
  double seconds = 0;
  double cpuSeconds = 0;
  long peakKb = 0;
  bool ok = false;
};

Result runProcess(const std::vector<std::string>& argv, const std::string& quietTo) {
  std::fflush(stdout);  // or the child would write the parent's buffered lines again
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (!quietTo.empty()) {
      std::freopen(quietTo.c_str(), "w", stdout);
      std::freopen("/dev/null", "w", stderr);
    }
    std::vector<char*> av;
    for (const auto& a : argv) av.push_back(const_cast<char*>(a.c_str()));
    av.push_back(nullptr);
    ::execvp(av[0], av.data());
    _exit(127);
  }
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

std::string siblingQelcut() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "qelcut";
  self[n] = '\0';
  // build/bench/plot/plot_dispose_bench -> build/src/app/qelcut
  return (fs::path(self).parent_path().parent_path().parent_path() / "src/app/qelcut").string();
}

std::vector<std::string> splitList(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream ss(s);
  std::string item;
  while (std::getline(ss, item, ',')) out.push_back(item);
  return out;
}

struct Config {
  const char* name;
  int mode;  // -1: copy-through
};

void writeHome(const std::string& home, const Config& c) {
  fs::create_directories(home);
  std::FILE* f = std::fopen((home + "/Config.ini").c_str(), "w");
  if (c.mode < 0)
    std::fprintf(f, "[Split_Page]\nSplit_Page_Enabled=0\n[Optimize]\nOptimize_Function=0\n");
  else
    std::fprintf(f,
                 "[Split_Page]\nSplit_Page_Enabled=1\nCUT_FT=%d\nPage_Width=1500\nPage_Height=1200\n"
                 "[FontDispose]\nFontDispose_Enabled=0\n",
                 c.mode);
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> sizes{"10", "50", "200"};
  std::vector<std::string> shapes{"strokes", "boxes"};
  std::string dir = "/tmp";
  std::string qelcut = siblingQelcut();
  std::string inputs;  // kept inputs, generated when missing
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--generate" && i + 3 < argc) {
      if (!generate(argv[i + 1], std::atof(argv[i + 2]), argv[i + 3])) {
        std::fprintf(stderr, "unknown shape %s (strokes, boxes, labels, circles, roll, pens)\n", argv[i + 1]);
        return 2;
      }
      return 0;
    } else if (a == "--quick") {
      sizes = {"2", "5", "20"};
    } else if (a == "--sizes" && i + 1 < argc) {
      sizes = splitList(argv[++i]);
    } else if (a == "--shapes" && i + 1 < argc) {
      shapes = splitList(argv[++i]);
    } else if (a == "--dir" && i + 1 < argc) {
      dir = argv[++i];
    } else if (a == "--inputs" && i + 1 < argc) {
      inputs = argv[++i];
    } else if (a == "--qelcut" && i + 1 < argc) {
      qelcut = argv[++i];
    } else {
      std::fprintf(stderr, "usage: plot_dispose_bench [--quick] [--sizes A,B,C] [--shapes S,..] [--dir DIR] "
                           "[--inputs DIR] [--qelcut PATH] | --generate SHAPE MB FILE\n");
      return 2;
    }
  }
  const bool haveHp2xx = std::system("command -v hp2xx >/dev/null 2>&1") == 0;
  const Config configs[] = {{"copy", -1}, {"mode 4", 4}, {"mode 5", 5}, {"mode 6", 6}, {"mode 8", 8}};
  const std::string work = dir + "/qelcut-bench-" + std::to_string(getpid());
  fs::create_directories(work);
  std::printf("qelcut: %s\n", qelcut.c_str());
  // seconds[shape][config][size]
  std::map<std::string, std::map<std::string, std::map<std::string, double>>> seconds, cpuSeconds;
  for (const auto& shape : shapes) {
    for (const auto& size : sizes) {
      const std::string input = (inputs.empty() ? work : inputs) + "/" + shape + "_" + size + ".plt";
      if (inputs.empty() || !fs::exists(input)) {
        if (!inputs.empty()) fs::create_directories(inputs);
        generate(shape, std::atof(size.c_str()), input);
      }
      const double mb = fs::file_size(input) / (1024.0 * 1024.0);
      Result hp;
      if (haveHp2xx) {
        hp = runProcess({"hp2xx", "-q", "-m", "hpgl", "-f", work + "/hp2xx.out", input}, "/dev/null");
        fs::remove(work + "/hp2xx.out");
        seconds[shape]["hp2xx"][size] = hp.seconds;
        cpuSeconds[shape]["hp2xx"][size] = hp.cpuSeconds;
      }
      std::printf("\n%s, %.1f MB%s\n", shape.c_str(), mb, haveHp2xx ? "" : " (hp2xx not installed)");
      std::printf("  %-7s %-4s %7s %8s %8s %9s %9s\n", "run", "", "wall s", "MB/s", "cpu MB/s", "x hp2xx",
                  "peak/in");
      for (const auto& c : configs) {
        const std::string home = work + "/home", out = work + "/out";
        fs::remove_all(home);
        fs::remove_all(out);
        writeHome(home, c);
        const Result r = runProcess({qelcut, "dispose", input, "--home", home, "--out", out}, "/dev/null");
        seconds[shape][c.name][size] = r.seconds;
        cpuSeconds[shape][c.name][size] = r.cpuSeconds;
        std::printf("  %-7s %-4s %7.2f %8.1f %8.1f %9.2f %9.2f\n", c.name, r.ok ? "ok" : "FAIL", r.seconds,
                    mb / r.seconds, mb / r.cpuSeconds, haveHp2xx ? hp.seconds / r.seconds : 0.0,
                    r.peakKb / 1024.0 / mb);
        fs::remove_all(out);
      }
      if (haveHp2xx)
        std::printf("  %-7s %-4s %7.2f %8.1f %8.1f %9s %9.2f\n", "hp2xx", hp.ok ? "ok" : "FAIL", hp.seconds,
                    mb / hp.seconds, mb / hp.cpuSeconds, "1.00", hp.peakKb / 1024.0 / mb);
      if (inputs.empty()) fs::remove(input);
    }
  }
  // Growth of the time from the second to the third size (50 to 200 MB in the full run).
  if (sizes.size() >= 3) {
    const std::string& from = sizes[sizes.size() - 2];
    const std::string& to = sizes.back();
    std::printf("\ntime growth %s MB -> %s MB (the input grows %.1f x)\n", from.c_str(), to.c_str(),
                std::atof(to.c_str()) / std::atof(from.c_str()));
    for (const auto& shape : shapes) {
      std::printf("  %-8s wall", shape.c_str());
      for (const auto& [name, bySize] : seconds[shape])
        std::printf("  %s %.2f", name.c_str(), bySize.at(to) / bySize.at(from));
      std::printf("\n  %-8s cpu ", shape.c_str());
      for (const auto& [name, bySize] : cpuSeconds[shape])
        std::printf("  %s %.2f", name.c_str(), bySize.at(to) / bySize.at(from));
      std::printf("\n");
    }
  }
  fs::remove_all(work);
  return 0;
}
