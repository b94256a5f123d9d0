#pragma once

// Layout units: a twip is 1/1440 inch, turned into pixels by the screen's logical DPI.
namespace Twips {

double perPixelX();
int toPixels(int twips);

} // namespace Twips
