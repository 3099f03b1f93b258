#include "tools/classify/classify_walk.h"

#include "foundation/file_system.h"
#include "foundation/native_text.h"
#include "foundation/path_helpers.h"
#include "tools/classify/classify_captions.h"
#include "tools/classify/photo_record.h"

namespace chengling {

namespace {

// Lists every folder of the walk before any file is touched, so that folders and files the run
// itself creates inside the tree are never walked and classified a second time. Order: the files
// of a folder, then its subfolders one by one, each with its own files first. `ancestors` holds
// the folders above `folder`: a linked folder that leads back to one of them is not entered.
void walkFolder(const std::string& folder, const ClassifyOptions& options, RunContext& ctx,
                std::vector<RunGroup>& groups, std::vector<std::string>& ancestors) {
  ctx.phase(kReadingFolderCaption + folder);
  RunGroup group;
  ListFolder(ctx.fileSystem(), folder, options.filter, ListingKind::Files, false, options.matcher, group.files);
  groups.push_back(std::move(group));
  if (!options.recursive || ctx.checkpoint()) return;
  PathList subfolders;
  ListFolder(ctx.fileSystem(), folder, "*", ListingKind::Folders, false, options.matcher, subfolders);
  ancestors.push_back(folder);
  for (const std::string& sub : subfolders) {
    bool loops = false;
    for (const std::string& above : ancestors) loops = loops || sameFile(ctx.fileSystem(), sub, above);
    if (loops) {
      ctx.warning(sub, "链接指回上级文件夹，未遍历");
      continue;
    }
    walkFolder(sub, options, ctx, groups, ancestors);
    if (ctx.stopRequested()) break;
  }
  ancestors.pop_back();
}

}  // namespace

std::string entryFolderOf(const ClassifyOptions& options) {
  if (options.source == ClassifySource::FileList) return std::string();
  std::string folder = options.entryFolder;
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

std::vector<RunGroup> collectGroups(const ClassifyOptions& options, const std::string& entry,
                                    RunContext& ctx) {
  std::vector<RunGroup> groups;
  if (options.source == ClassifySource::FileList) {
    groups.push_back(RunGroup{options.fileList});
  } else {
    std::vector<std::string> ancestors;
    walkFolder(entry, options, ctx, groups, ancestors);
  }
  return groups;
}

std::string classifyInputError(const ClassifyOptions& options) {
  if (options.source != ClassifySource::Folder) return std::string();
  // An empty folder box would otherwise mean the root of the whole file system.
  if (options.entryFolder.empty()) return "没有指定要归类的文件夹";
  // A folder that is not there would list nothing and end as a run that found nothing to do.
  if (!pathExists(options.entryFolder) || !IsDirectory(options.entryFolder)) {
    return "找不到文件夹 " + options.entryFolder;
  }
  return std::string();
}

std::vector<const std::string*> runOrderOf(const std::vector<RunGroup>& groups) {
  std::vector<const std::string*> files;
  for (const RunGroup& group : groups) {
    for (const std::string& file : group.files) files.push_back(&file);
  }
  return files;
}

void warnWithoutPhotoRecords(const PathTemplate& pathTemplate, const std::string& item, RunContext& ctx) {
  if (!pathTemplate.needsPhotoRecord() || photoReaderProblem().empty()) return;
  ctx.warning(item, "无法读取照片的拍摄信息（" + internalFromNative(photoReaderProblem()) +
                        "），拍摄日期按文件的修改时间，相机型号按“未知型号”");
}

}  // namespace chengling
