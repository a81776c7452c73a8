// Pictures of real windows under the private X server (gui_test_support.h), kept as the test run's
// artifacts: what a window shows, two pictures side by side, and the PNG file.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gui_test_support.h"

namespace guitest {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;  // rows top down, three bytes a pixel
};

// What `window` shows now; an empty picture when it cannot be read.
inline Picture CaptureWindow(const std::string& window) {
  Picture picture;
  Display* display = XOpenDisplay(displayName.c_str());
  if (display == nullptr) return picture;
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, std::stoul(window), &attributes)) {
    if (XImage* image = XGetImage(display, std::stoul(window), 0, 0, static_cast<unsigned>(attributes.width),
                                  static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap)) {
      picture.width = attributes.width;
      picture.height = attributes.height;
      for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
          const unsigned long pixel = XGetPixel(image, x, y);
          for (int shift : {16, 8, 0}) picture.rgb.push_back(static_cast<unsigned char>(pixel >> shift));
        }
      }
      XDestroyImage(image);
    }
  }
  XCloseDisplay(display);
  return picture;
}

// `left` and `right` beside each other on a dark ground, a gap between them.
inline Picture SideBySide(const Picture& left, const Picture& right) {
  constexpr int Gap = 24;
  Picture both;
  both.width = left.width + Gap + right.width;
  both.height = std::max(left.height, right.height);
  both.rgb.assign(static_cast<size_t>(both.width) * both.height * 3, 40);
  auto place = [&both](const Picture& part, int atX) {
    for (int y = 0; y < part.height; ++y)
      std::copy_n(part.rgb.begin() + static_cast<long>(y) * part.width * 3, part.width * 3,
                  both.rgb.begin() + (static_cast<long>(y) * both.width + atX) * 3);
  };
  place(left, 0);
  place(right, left.width + Gap);
  return both;
}

// Writes the picture as an 8-bit RGB PNG; false when the file cannot be written.
inline bool SavePng(const Picture& picture, const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_RGB;
  const bool written = png_image_write_to_file(&image, path.c_str(), 0, picture.rgb.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return written;
}

}  // namespace guitest
