#include "foundation/run_context.h"

namespace chengling {

void PlainRunContext::progress(int64_t position, int64_t maximum) {
  lastPosition = position;
  lastMaximum = maximum;
}

void PlainRunContext::status(std::string_view text) {
  statuses.emplace_back(text);
  if (onStatus) onStatus(text);
}

void PlainRunContext::phase(std::string_view text) { phases.emplace_back(text); }

void PlainRunContext::failure(std::string_view item, std::string_view reason) {
  failures.push_back({std::string(item), std::string(reason)});
  if (onFailure) onFailure(failures.back());
}

void PlainRunContext::warning(std::string_view item, std::string_view reason) {
  warnings.push_back({std::string(item), std::string(reason)});
}

void PlainRunContext::onCheckpoint() {
  ++checkpoints;
  if (onCheckpointHook) onCheckpointHook(*this, checkpoints);
}

}  // namespace chengling
