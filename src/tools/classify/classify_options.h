#pragma once
// What a classification run or dry run is asked to do.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/file_collector.h"
#include "tools/classify/path_template.h"

namespace chengling {

enum class ClassifySource { Folder, FileList };

// Read once when a run starts.
struct ClassifyOptions {
  ClassifySource source = ClassifySource::Folder;
  std::string entryFolder;            // folder input; "/" is appended when missing
  std::string filter = "*.*";         // pattern list for the files of every walked folder
  bool recursive = false;             // also walk every subfolder
  Matcher matcher = Matcher::Standard;
  std::vector<std::string> fileList;  // file-list input, in order; an empty entry fails
  std::string templateText = kDefaultTemplate;
  int32_t perBatch = 100;             // 0 or less: one file per batch
  BatchNameMode batchMode = BatchNameMode::Numbers;
  std::vector<std::string> batchNames;
  bool keepSources = true;            // copy; otherwise move
  std::string logFolder;              // where the logs go (the program directory)
};

}  // namespace chengling
