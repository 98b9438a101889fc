// One running instance per program and user: a lock file in the user's
// runtime directory (the temporary directory when there is none). The lock
// of a process that died is taken over.
#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace kpxmon {

class InstanceGuard {
 public:
  // directory empty: the runtime directory.
  explicit InstanceGuard(const QString &program, const QString &directory = QString());

  // True when this process now holds the lock (no other instance runs).
  bool acquired() const { return acquired_; }
  QString lockPath() const { return path_; }

  // "<directory>/<program>-<uid>.lock".
  static QString lockPathFor(const QString &program, const QString &directory);
  static QString defaultDirectory();

 private:
  QString path_;
  std::unique_ptr<QLockFile> lock_;
  bool acquired_ = false;
};

}  // namespace kpxmon
