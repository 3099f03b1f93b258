#include "tools/classify/classify_move.h"

#include "foundation/file_system.h"

namespace chengling {

bool moveWithoutReplacing(const std::string& source, const std::string& target, std::string& reason,
                          const CopyHooks& hooks) {
  std::string renameError;
  if (renamePath(source, target, false, &renameError)) return true;
  if (sameFile(source, target)) return true;
  if (pathExists(target)) {
    reason = "目标 " + target + " 已存在，不予覆盖";
    return false;
  }
  if (hooks.beforeCopy && !hooks.beforeCopy(reason)) return false;
  const int64_t size = fileSize(source);
  std::string error;
  if (!copyFile(source, target, false, &error)) {
    reason = "无法移动到 " + target + "：" + error;
    return false;
  }
  if (size < 0 || fileSize(target) != size) {
    removeFile(target);
    reason = "复制到 " + target + " 后大小不符，已撤销";
    return false;
  }
  // The copy must be on disk before the only other copy goes.
  if (!syncFileSystem(target, &error)) {
    removeFile(target);
    reason = "无法把 " + target + " 写入磁盘：" + error;
    return false;
  }
  if (hooks.beforeRemovingSource && !hooks.beforeRemovingSource(reason)) {
    removeFile(target);
    return false;
  }
  if (!removeFile(source, &error)) {
    removeFile(target);
    reason = "无法删除原文件：" + error;
    return false;
  }
  return true;
}

}  // namespace chengling
