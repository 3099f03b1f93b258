#include "tools/classify/classify_plan.h"

#include <unordered_map>

#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "tools/classify/classify_walk.h"
#include "tools/classify/photo_records_ahead.h"

namespace chengling {

namespace {

// Runs `visit(source, count, index)` for every file in run order, restarting batches per group,
// until the end or a stop request (checked before every file).
template <typename Visit>
bool forEachFile(const std::vector<RunGroup>& groups, bool restartPerGroup, BatchCounter& counter,
                 RunContext& ctx, Visit visit) {
  counter.restart();
  for (const RunGroup& group : groups) {
    if (restartPerGroup) counter.restart();
    const int64_t count = static_cast<int64_t>(group.files.size());
    for (int64_t i = 0; i < count; ++i) {
      if (ctx.checkpoint()) return true;
      visit(group.files[static_cast<size_t>(i)], count, i + 1);
      counter.advance();
    }
  }
  return ctx.stopRequested();
}

}  // namespace

ClassifyPlanOutcome ClassifyPlan(const ClassifyOptions& options, RunContext& ctx) {
  ClassifyPlanOutcome outcome;
  outcome.error = classifyInputError(options);
  if (!outcome.error.empty()) return outcome;
  std::vector<PlannedFile>& plan = outcome.files;
  const std::string entry = entryFolderOf(options);
  const PathTemplate pathTemplate(options.templateText);
  warnWithoutPhotoRecords(pathTemplate, options.templateText, ctx);
  const std::vector<RunGroup> groups = collectGroups(options, entry, ctx);
  BatchCounter counter(options);
  if (ctx.stopRequested()) return outcome;
  PhotoRecordsAhead photos(runOrderOf(groups), pathTemplate.needsPhotoRecord());
  size_t visited = 0;
  auto planOne = [&](const std::string& source, int64_t, int64_t) {
    PlannedFile file;
    file.source = source;
    file.target = pathTemplate.expand(source, entry, counter.context(), false, photos.take(visited++));
    file.sameAsSource = !source.empty() && !file.target.empty() && sameFile(ctx.fileSystem(), source, file.target);
    file.targetExists = !file.sameAsSource && !file.target.empty() && pathExists(ctx.fileSystem(), file.target);
    plan.push_back(std::move(file));
  };
  forEachFile(groups, options.source == ClassifySource::Folder, counter, ctx, planOne);
  std::unordered_map<std::string_view, int> uses;
  for (const PlannedFile& file : plan) ++uses[file.target];
  for (PlannedFile& file : plan) file.sharedTarget = !file.target.empty() && uses[file.target] > 1;
  return outcome;
}

std::string planLine(const PlannedFile& file, bool keepSources) {
  std::string line = file.source + " → " + file.target;
  if (file.sameAsSource) line += "  [目标即原文件，不会改动]";
  if (file.targetExists) line += keepSources ? "  [目标已存在，将被替换]" : "  [目标已存在，将失败]";
  if (file.sharedTarget) line += "  [与其他文件目标相同]";
  return line;
}

std::string planSummary(const std::vector<PlannedFile>& plan) {
  int64_t taken = 0;
  int64_t shared = 0;
  for (const PlannedFile& file : plan) {
    if (file.targetExists) ++taken;
    if (file.sharedTarget) ++shared;
  }
  return "预演：共 " + numberToText(static_cast<int64_t>(plan.size())) + " 个文件，目标已存在 " +
         numberToText(taken) + " 个，目标重复 " + numberToText(shared) + " 个；未改动任何文件";
}

}  // namespace chengling
