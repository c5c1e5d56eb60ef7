// The printer application's web pages in `qelcut screenshots`: two cutters, one with a simulated
// machine and one without, a job cut on the first and one failed on the second, pictured by
// headless Chromium in the pictures' language (web-cutters-LANG.png, web-cutter-LANG.png).
// Without Chromium or the printer program the pictures are left out with a note.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <functional>

#include "app/screenshots.h"
#include "config/ini_config.h"

namespace {

// Addresses of the pictures' machine and of the one that is not there.
constexpr const char* kMachine = "127.0.0.213";
constexpr const char* kNoMachine = "127.0.0.214";

QString sibling(const char* name) {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return {};
  self[n] = '\0';
  return QFileInfo(QString::fromLocal8Bit(self)).absolutePath() + QLatin1Char('/') + QString::fromLatin1(name);
}

int freePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(s);
  return port;
}

// One HTTP/1.0 exchange on 127.0.0.1:port; the answer's body,
// empty when it failed.
QByteArray exchange(int port, const QByteArray& request) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  QByteArray answer;
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::send(s, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL) == request.size()) {
    char buf[65536];
    pollfd p{s, POLLIN, 0};
    while (::poll(&p, 1, 5000) > 0) {
      const ssize_t n = ::recv(s, buf, sizeof buf, 0);
      if (n <= 0) break;
      answer.append(buf, static_cast<int>(n));
      // The server keeps the connection: a body ends at its stated length or its last chunk.
      const int head = answer.indexOf("\r\n\r\n");
      if (head < 0) continue;
      const QByteArray headers = answer.left(head).toLower();
      const int at = headers.indexOf("content-length:");
      if (at >= 0 && answer.size() - head - 4 >= headers.mid(at + 15, headers.indexOf('\r', at) - at - 15).trimmed().toInt()) break;
      if (headers.contains("transfer-encoding: chunked") && answer.endsWith("\r\n0\r\n\r\n")) break;
    }
  }
  ::close(s);
  const int head = answer.indexOf("\r\n\r\n");
  if (head < 0) return {};
  if (!answer.left(head).toLower().contains("transfer-encoding: chunked")) return answer.mid(head + 4);
  QByteArray body;
  for (int at = head + 4;;) {
    const int eol = answer.indexOf("\r\n", at);
    bool ok = false;
    const int size = eol < 0 ? 0 : answer.mid(at, eol - at).trimmed().toInt(&ok, 16);
    if (!ok || size <= 0) break;
    body += answer.mid(eol + 2, size);
    at = eol + 2 + size + 2;
  }
  return body;
}

bool listening(const char* address, int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address, &a.sin_addr);
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

QByteArray page(int port, const QString& path) {
  return exchange(port, "GET " + path.toUtf8() + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
}

// Print-Job of an HPGL document, as any IPP client sends it.
bool printPlot(int port, const QString& printer, const QByteArray& name, const QByteArray& document) {
  auto attr = [](char tag, const QByteArray& key, const QByteArray& value) {
    QByteArray a(1, tag);
    a += char(key.size() >> 8), a += char(key.size() & 0xff), a += key;
    a += char(value.size() >> 8), a += char(value.size() & 0xff), a += value;
    return a;
  };
  const QByteArray path = "/ipp/print/" + printer.toUtf8();
  QByteArray body("\x02\x00\x00\x02\x00\x00\x00\x01\x01", 9);
  body += attr(0x47, "attributes-charset", "utf-8") + attr(0x48, "attributes-natural-language", "en");
  body += attr(0x45, "printer-uri", "ipp://127.0.0.1:" + QByteArray::number(port) + path);
  body += attr(0x42, "requesting-user-name", "designer") + attr(0x42, "job-name", name);
  body += attr(0x49, "document-format", "application/vnd.hp-HPGL") + '\x03' + document;
  return !exchange(port, "POST " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: application/ipp\r\nContent-Length: " +
                             QByteArray::number(body.size()) + "\r\n\r\n" + body)
              .isEmpty();
}

bool waitFor(const std::function<bool()>& done, int ms) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (done()) return true;
    QThread::msleep(50);
  }
  return done();
}

void pointAt(const QString& home, const char* address) {
  qel::config::CIniConfig cfg(home.toStdString());
  cfg.write(qel::config::keys::Xitong_TT, 3);
  cfg.write(qel::config::keys::Xitong_IP, address);
  cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
}

void shootWeb(qel::app::ShotContext& ctx) {
  const QString printerApp = sibling("qelcut-printer-app"), qelcut = sibling("qelcut");
  QString chromium = QFile::exists(QStringLiteral("/usr/bin/chromium")) ? QStringLiteral("/usr/bin/chromium")
                                                                          : QStandardPaths::findExecutable(QStringLiteral("chromium"));
  if (!QFile::exists(printerApp) || chromium.isEmpty()) {
    std::printf("note: the web pages are not pictured (%s is missing)\n",
                chromium.isEmpty() ? "chromium" : printerApp.toLocal8Bit().constData());
    return;
  }
  QTemporaryDir dir;
  const QString a = dir.filePath(QStringLiteral("a")), b = dir.filePath(QStringLiteral("b"));
  pointAt(a, kMachine);
  pointAt(b, kNoMachine);
  const int port = freePort();
  QProcess sim, app;
  sim.start(qelcut, {QStringLiteral("sim"), QStringLiteral("--home"), a, QStringLiteral("--bind"), QString::fromLatin1(kMachine)});
  app.start(printerApp, {QStringLiteral("printer-app"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port),
                         QStringLiteral("--home"), a, QStringLiteral("--home"), b, QStringLiteral("--state"),
                         dir.filePath(QStringLiteral("state")), QStringLiteral("--time-scale"), QStringLiteral("0.05")});
  const QString cutter = QStringLiteral("/QEL-DSP-%1/").arg(QString::fromLatin1(kMachine));
  const QString other = QStringLiteral("/QEL-DSP-%1/").arg(QString::fromLatin1(kNoMachine));
  QFile sample(ctx.samplePlot());
  sample.open(QIODevice::ReadOnly);
  const QByteArray plot = sample.readAll();
  const bool ready = sim.waitForStarted(5000) && app.waitForStarted(5000) &&
                     waitFor([&] { return !page(port, QStringLiteral("/")).isEmpty(); }, 10000) &&
                     waitFor([&] { return listening(kMachine, 3241); }, 10000) &&
                     printPlot(port, cutter.mid(1, cutter.size() - 2), "logo.plt", plot) &&
                     printPlot(port, other.mid(1, other.size() - 2), "banner.plt", plot) &&
                     waitFor([&] { return page(port, cutter).contains("job-completed") && page(port, other).contains("job-aborted"); }, 20000);
  // The pages are pictured whatever state they are in; the note says when it is not the one meant.
  if (!ready) std::fprintf(stderr, "qelcut screenshots: note: the printer application's jobs did not end as pictured\n");
  const QString lang = ctx.lang() == QLatin1String("zh") ? QStringLiteral("zh-CN,zh") : QStringLiteral("en-US,en");
  for (const auto& [path, state] : {std::pair{QStringLiteral("/"), QStringLiteral("cutters")}, std::pair{cutter, QStringLiteral("cutter")}}) {
    const QString picture = ctx.pathFor(QStringLiteral("web"), state);
    QTemporaryDir profile;
    QProcess browser;
    browser.start(chromium, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                             QStringLiteral("--disable-quic"), QStringLiteral("--no-first-run"),
                             QStringLiteral("--disable-background-networking"), QStringLiteral("--disable-component-update"),
                             QStringLiteral("--disable-sync"), QStringLiteral("--user-data-dir=") + profile.path(),
                             QStringLiteral("--accept-lang=") + lang, QStringLiteral("--window-size=1366,768"),
                             QStringLiteral("--screenshot=") + picture, QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)});
    browser.waitForFinished(90000);
    ctx.record(picture, QFile::exists(picture));
  }
  app.terminate();
  sim.terminate();
  app.waitForFinished(10000);
  sim.waitForFinished(10000);
}

const qel::app::ShotRegistration kWeb("web", shootWeb);

}  // namespace
