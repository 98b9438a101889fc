#include "instance_guard.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace kpxmon {

QString InstanceGuard::defaultDirectory() {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty() || !QFileInfo(dir).isWritable()) dir = QDir::tempPath();
  return dir;
}

QString InstanceGuard::lockPathFor(const QString &program, const QString &directory) {
  // The user id keeps users apart also in a shared temporary directory.
  return QDir(directory).filePath(QStringLiteral("%1-%2.lock").arg(program).arg(getuid()));
}

InstanceGuard::InstanceGuard(const QString &program, const QString &directory)
    : path_(lockPathFor(program, directory.isEmpty() ? defaultDirectory() : directory)),
      lock_(std::make_unique<QLockFile>(path_)) {
  // Only a dead owner makes a lock stale, never its age: a monitor runs for days.
  lock_->setStaleLockTime(0);
  acquired_ = lock_->tryLock(0);
}

}  // namespace kpxmon
