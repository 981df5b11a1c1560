#include "app/go_to.h"

void go_to_point(double, double, const char*) {}
