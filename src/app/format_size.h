#pragma once

#include <cstdint>

#include <QString>

namespace qarvo::ui {

// A byte count as "Byte", "KB", "MB" or "GB" text with at most one decimal, cut rather than
// rounded (1.99 KB reads 1.9KB); counts up to 1024 are whole bytes ("1024Byte").
QString FormatSizeText(int64_t size);

}  // namespace qarvo::ui
