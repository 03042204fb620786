// Stands in for Little CMS in a build without it: no profile is opened, so
// pictures keep the numbers they store.
#include "input/color_profile.h"

namespace bmp256 {

const bool kHaveColorProfiles = false;

struct ProfileTransform {};

ProfileTransform* OpenProfileToSrgb(const uint8_t*, size_t, ProfilePixels) { return nullptr; }
void TransformPixels(ProfileTransform*, const uint8_t*, uint8_t*, size_t) {}
void TransformPicture(ProfileTransform*, uint8_t*, int32_t, int32_t, size_t) {}
void CloseProfile(ProfileTransform*) {}

}  // namespace bmp256
