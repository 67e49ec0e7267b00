// c4d_apiversion.h - which SDK API shape this build of the framework has.
//
// The framework models two shapes of Maxon's SDK: R23 (API version 23100) and the 2025
// line, which starts with the 2025.0 SDK at API version 2024900 (2025301 is 2025.3). The
// build chooses one with CORVANE_SDK_API_VERSION; plug-in sources choose between the shapes
// with `#if API_VERSION >= ...` as they do with the real SDKs. In the 2025 shape every
// Cinema API name lives in namespace cinema, as in the real SDKs from 2025.0 on.
#pragma once

#ifndef CORVANE_SDK_API_VERSION
#define CORVANE_SDK_API_VERSION 23100
#endif
#if CORVANE_SDK_API_VERSION != 23100 && CORVANE_SDK_API_VERSION != 2024900 && CORVANE_SDK_API_VERSION != 2025301
#error "CORVANE_SDK_API_VERSION: the framework models 23100 (R23) and 2024900 or 2025301 (2025.0, 2025.3)"
#endif

/// Where the 2025 shape starts: the API version of the 2025.0 SDK.
#define CORVANE_SDK_2025_SHAPE 2024900

/// The SDK's API version.
#define API_VERSION CORVANE_SDK_API_VERSION

// Framework use: opens and closes the namespace of the Cinema API's declarations.
#if API_VERSION >= CORVANE_SDK_2025_SHAPE
#define CINEMA_NAMESPACE_BEGIN namespace cinema {
#define CINEMA_NAMESPACE_END }
#else
#define CINEMA_NAMESPACE_BEGIN
#define CINEMA_NAMESPACE_END
#endif
