#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "export/numbered_copy.h"
#include "export/output.h"

namespace spurfix::exporting {

// What a CD-R of 80 minutes holds: 360,000 blocks of 2,048 bytes.
inline constexpr uint64_t kCdBytes = 737'280'000;

// The remark for an image that does not fit on a CD.
inline constexpr std::string_view kLargerThanCd = "Das Abbild ist größer als eine CD (700 MB).";

// The ISO 9660 volume id for a list heading: at most 32 upper case d-characters
// (A-Z, 0-9, "_"); umlauts are spelt out, everything else becomes "_". A heading with
// nothing left gives "SPURFIX".
std::string IsoVolumeId(std::string_view heading);

// The numbered copy as a CD image to burn: ISO 9660 (level 2) with Joliet and Rock
// Ridge names, the songs' data in list order. The image file is replaced as every
// output replaces its file: the old file whole or the new image whole.
class CdImageOutput : public Output {
  public:
    explicit CdImageOutput(CopyLayout layout) : layout_(layout) {}
    std::string write(const ExportList& list, const std::string& target,
                      Progress& progress) const override;

  private:
    CopyLayout layout_;
};

}  // namespace spurfix::exporting
