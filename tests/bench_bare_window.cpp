// The yardstick of the start-up benchmark: an empty toolkit window of linkprobe's size.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>

int main() {
  Fl_Window window(599, 497, "Bare window");
  window.end();
  window.show();
  return Fl::run();
}
