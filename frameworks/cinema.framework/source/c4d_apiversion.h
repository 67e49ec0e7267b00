// c4d_apiversion.h - which SDK API shape this build of the framework has.
//
// The framework models two shapes of Maxon's SDK: R23 (API version 23100) and the 2025
// line (2025301). The build chooses one with CORVANE_SDK_API_VERSION; plug-in sources
// choose between the shapes with `#if API_VERSION >= ...` as they do with the real SDKs.
// In the 2025 shape every Cinema API name lives in namespace cinema.
#pragma once

#ifndef CORVANE_SDK_API_VERSION
#define CORVANE_SDK_API_VERSION 23100
#endif
#if CORVANE_SDK_API_VERSION != 23100 && CORVANE_SDK_API_VERSION != 2025301
#error "CORVANE_SDK_API_VERSION: the framework models 23100 (R23) and 2025301 (2025)"
#endif

/// The SDK's API version.
#define API_VERSION CORVANE_SDK_API_VERSION

// Framework use: opens and closes the namespace of the Cinema API's declarations.
#if API_VERSION >= 2025000
#define CINEMA_NAMESPACE_BEGIN namespace cinema {
#define CINEMA_NAMESPACE_END }
#else
#define CINEMA_NAMESPACE_BEGIN
#define CINEMA_NAMESPACE_END
#endif
