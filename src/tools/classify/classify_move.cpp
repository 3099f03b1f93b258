#include "tools/classify/classify_move.h"

#include "foundation/file_system.h"

namespace chengling {

bool moveWithoutReplacing(FileSystem& fs, const std::string& source, const std::string& target, std::string& reason,
                          const CopyHooks& hooks) {
  std::string renameError;
  if (renamePath(fs, source, target, false, &renameError)) return true;
  if (sameFile(fs, source, target)) return true;
  if (pathExists(fs, target)) {
    reason = "目标 " + target + " 已存在，不予覆盖";
    return false;
  }
  if (hooks.beforeCopy && !hooks.beforeCopy(reason)) return false;
  const int64_t size = fileSize(fs, source);
  std::string error;
  if (!copyFile(fs, source, target, false, &error)) {
    reason = "无法移动到 " + target + "：" + error;
    return false;
  }
  if (size < 0 || fileSize(fs, target) != size) {
    removeFile(fs, target);
    reason = "复制到 " + target + " 后大小不符，已撤销";
    return false;
  }
  // The copy must be on disk before the only other copy goes.
  if (!syncFileSystem(fs, target, &error)) {
    removeFile(fs, target);
    reason = "无法把 " + target + " 写入磁盘：" + error;
    return false;
  }
  if (hooks.beforeRemovingSource && !hooks.beforeRemovingSource(reason)) {
    removeFile(fs, target);
    return false;
  }
  if (!removeFile(fs, source, &error)) {
    removeFile(fs, target);
    reason = "无法删除原文件：" + error;
    return false;
  }
  return true;
}

}  // namespace chengling
