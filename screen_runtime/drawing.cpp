// Placeholder drawing operations.
#include "pages.h"
#include "screen_runtime.h"

void draw_line(float, float, float, float, uint32_t, int32_t, int32_t, int32_t) {}
void fill_box(float, float, float, float, uint32_t) {}
void plot_point(int32_t, int32_t, uint32_t) {}
void flood_fill(float, float, uint32_t, uint32_t, uint32_t, int32_t) {}
void pattern_fill(float, float, TextString*, uint32_t, TextString*, int32_t) {}
void draw_circle(double, double, double, int32_t, double, double, double, int32_t) {}
