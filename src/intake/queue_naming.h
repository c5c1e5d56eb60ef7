#pragma once
// Names and paths of the send queue's files: native file-name bytes, the name and extension of
// a path, names that never overwrite an earlier file, and the moves between the queue's folders.
#include <QString>

#include <string>

namespace qel::intake::queue {

// File names as the file system stores them (QFile's encoding) and back.
std::string native(const QString& s);
QString fromNative(const std::string& s);

// The part after the last '/'.
QString fileNameOf(const QString& path);
// The upper-cased extension from the last dot, or the whole upper-cased name without one.
QString upperExtension(const QString& name);
// Splits "dir/name.ext" into "dir/name" and ".ext" (no extension: "").
void splitExtension(const QString& path, QString& base, QString& ext);
// "dir/" becomes "dir" (a lone "/" stays).
QString stripTrailingSeparator(QString dir);

// Anything at the path, a dangling link included.
bool exists(const QString& path);
// A name that does not overwrite an earlier file: "name.ext", else "name_2.ext", ...
QString freePath(const QString& path);

// Names the printed folder gives backed-up sources: "<name>_<YYYYMMDD>_<HHMMSS><ext>", with
// "_2", "_3", ... when the name was taken. Page files carry their page number after the stamp
// instead ("_001.PLT"), and other files keep the names the operator gave them.
bool isSourceBackupName(const QString& name);

bool moveFile(const QString& from, const QString& to);
bool makeDirs(const QString& dir);
bool dirExists(const QString& dir);

}  // namespace qel::intake::queue
