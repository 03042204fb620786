// Colour profiles through Little CMS. Each transform has its own context, so
// threads converting other files never share state; the transform is built
// once per picture and applied to whole rows.
#include "input/color_profile.h"

#include <new>

#include <lcms2.h>

namespace bmp256 {

const bool kHaveColorProfiles = true;

struct ProfileTransform {
    cmsContext context;
    cmsHTRANSFORM transform;
};

namespace {

// Grey samples expanded to BGR(A) are read as one grey channel followed by
// the bytes that repeat it.
cmsUInt32Number InputFormat(ProfilePixels pixels, cmsColorSpaceSignature space) {
    const bool grey = space == cmsSigGrayData;
    switch (pixels) {
        case kProfileBgr:
            return grey ? (COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(2))
                        : TYPE_BGR_8;
        case kProfileBgra:
            return grey ? (COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3))
                        : TYPE_BGRA_8;
        case kProfileCmyk:
            return TYPE_CMYK_8;
        case kProfileInvertedCmyk:
            return TYPE_CMYK_8_REV;
    }
    return 0;
}

bool Fits(ProfilePixels pixels, cmsColorSpaceSignature space) {
    if (pixels == kProfileCmyk || pixels == kProfileInvertedCmyk) return space == cmsSigCmykData;
    return space == cmsSigRgbData || space == cmsSigGrayData;
}

}  // namespace

ProfileTransform* OpenProfileToSrgb(const uint8_t* icc, size_t size, ProfilePixels pixels) {
    // The smallest profile is its 128-byte header and a tag count.
    if (!icc || size < 132 || size > UINT32_MAX) return nullptr;
    cmsContext context = cmsCreateContext(nullptr, nullptr);
    if (!context) return nullptr;
    cmsHPROFILE source = cmsOpenProfileFromMemTHR(context, icc, cmsUInt32Number(size));
    cmsHPROFILE srgb = cmsCreate_sRGBProfileTHR(context);
    cmsHTRANSFORM transform = nullptr;
    if (source && srgb) {
        const cmsColorSpaceSignature space = cmsGetColorSpace(source);
        const cmsProfileClassSignature kind = cmsGetDeviceClass(source);
        const bool usable = kind == cmsSigInputClass || kind == cmsSigDisplayClass ||
                            kind == cmsSigOutputClass || kind == cmsSigColorSpaceClass;
        if (usable && Fits(pixels, space)) {
            const cmsUInt32Number output = pixels == kProfileBgra ? TYPE_BGRA_8 : TYPE_BGR_8;
            transform = cmsCreateTransformTHR(context, source, InputFormat(pixels, space), srgb,
                                              output, INTENT_PERCEPTUAL, 0);
        }
    }
    if (source) cmsCloseProfile(source);
    if (srgb) cmsCloseProfile(srgb);
    if (!transform) {
        cmsDeleteContext(context);
        return nullptr;
    }
    ProfileTransform* t = new (std::nothrow) ProfileTransform{context, transform};
    if (!t) {
        cmsDeleteTransform(transform);
        cmsDeleteContext(context);
    }
    return t;
}

void TransformPixels(ProfileTransform* t, const uint8_t* in, uint8_t* out, size_t count) {
    while (count > 0) {
        const cmsUInt32Number n = count > 0x10000000 ? 0x10000000 : cmsUInt32Number(count);
        cmsDoTransform(t->transform, in, out, n);
        count -= n;
    }
}

void TransformPicture(ProfileTransform* t, uint8_t* pixels, int32_t width, int32_t height,
                      size_t stride) {
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = pixels + size_t(y) * stride;
        TransformPixels(t, row, row, size_t(width));
    }
}

void CloseProfile(ProfileTransform* t) {
    if (!t) return;
    cmsDeleteTransform(t->transform);
    cmsDeleteContext(t->context);
    delete t;
}

}  // namespace bmp256
