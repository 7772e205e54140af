#include "drive/model_series.h"

namespace ds {

int DetectModelSeries(std::string_view model) {
  if (model.find("X52") != std::string_view::npos)
    return kSeriesX52;
  if (model.find("X57") != std::string_view::npos)
    return kSeriesX57;
  if (model.find("X50") != std::string_view::npos || model.find("X55") != std::string_view::npos) {
    return kSeriesX50;
  }
  return kSeriesOther;
}

bool IsMakersDisk(std::string_view model, int internalMode) {
  if (internalMode == 1)
    return true;
  std::string_view prefix = model.substr(0, 3);
  return prefix == "QRA" || prefix == "QRB" || prefix == "QRC";
}

}  // namespace ds
