// Inside the input module: embedded ICC colour profiles turned into sRGB
// through Little CMS, with perceptual intent. A build without Little CMS
// (color_profile_none.cpp) opens no profile, so pictures keep their numbers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bmp256 {

extern const bool kHaveColorProfiles;

// The samples a transform reads; it always writes BGR.
enum ProfilePixels {
    kProfileBgr,            // 3 bytes, converted in place
    kProfileBgra,           // 4 bytes, colour converted in place, alpha kept
    kProfileCmyk,           // 4 bytes of ink, into a separate BGR row
    kProfileInvertedCmyk,   // the same with every sample stored as 255 - ink
};

struct ProfileTransform;

// A transform from the colours `icc` describes into sRGB, or null when there
// is no usable profile: none in this build, a damaged one, or one whose
// colour space does not fit the samples (a grey profile fits grey samples
// stored as BGR). Every length is checked against `size`.
ProfileTransform* OpenProfileToSrgb(const uint8_t* icc, size_t size, ProfilePixels pixels);

// Converts `count` pixels; `out` may equal `in` for BGR and BGRA.
void TransformPixels(ProfileTransform* transform, const uint8_t* in, uint8_t* out, size_t count);

// Converts every row of a canonical picture in place (BGR rows of `stride`).
void TransformPicture(ProfileTransform* transform, uint8_t* pixels, int32_t width, int32_t height,
                      size_t stride);

void CloseProfile(ProfileTransform* transform);

}  // namespace bmp256
