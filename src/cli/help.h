// The three fixed screens: usage (no parameters), the format reference
// (/formats) and the advanced usage notes (/advanced). Each writes its lines
// at once, one WriteLine each.
#pragma once

namespace clockcast::cli {

void ShowUsage();
void ShowFormatReference();
void ShowAdvancedUsage();

}  // namespace clockcast::cli
