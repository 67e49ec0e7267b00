// stb_impl.cpp - the one translation unit with stb's implementations.
//
// Kept apart so that build settings meant for third-party code (see host/CMakeLists.txt)
// touch nothing of ours.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include "bitmap/stb_config.h"
