#pragma once

namespace dozo {

// Picks a font that holds the Japanese glyphs of the captions. Call once,
// after the QApplication exists and before the first window is built, so that
// layouts are measured with the font the user sees.
class ApplicationFont {
public:
    static void apply();
};

}  // namespace dozo
