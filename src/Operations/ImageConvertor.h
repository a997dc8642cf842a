#pragma once
// ImageConvertor: the batch conversion engine. For now it holds the one process-wide value the
// rest of the program reads: the JPEG quality at which pictures are converted for a picture
// frame (0.95, which the JPEG encoder writes as libjpeg quality 95).
//
// Thread safety: the quality is a constant; callable from any thread.

namespace vistel {

class ImageConvertor {
public:
    // The default conversion quality, 0 to 1.
    static constexpr float convertionQuality() { return 0.95f; }
};

} // namespace vistel
