// Writes 24-bit RGB images as PNG files (stored, uncompressed deflate):
// enough for screenshots that any viewer opens.
#ifndef PLIMBAR_TESTS_E2E_PNG_FILE_H
#define PLIMBAR_TESTS_E2E_PNG_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace plimbar_test {

// rgb: height rows of width pixels, 3 bytes each (red, green, blue).
bool WritePng(const std::string& path, int width, int height,
              const std::vector<uint8_t>& rgb);

}  // namespace plimbar_test

#endif  // PLIMBAR_TESTS_E2E_PNG_FILE_H
