// stb_config.h - how the host uses stb_image and stb_image_resize (Debian's libstb-dev).
// The implementations are compiled once, in stb_impl.cpp.
#pragma once

#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_FAILURE_USERMSG
// The host reads PNG only: every other decoder stb carries would be attack surface.
#define STBI_ONLY_PNG
// A few header bytes must not make the host allocate gigabytes and decode for seconds.
#define STBI_MAX_DIMENSIONS 16384
#include <stb_image.h>
#include <stb_image_resize.h>
