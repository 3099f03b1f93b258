#pragma once
// Shows the settings store's failure notice as its two message boxes: the warning with the caption
// "岚舟：", then the settings text (or the file and the reason) in a second box.

namespace chengling {

class SettingsStore;

void attachStoreMessages(SettingsStore& store);

}  // namespace chengling
