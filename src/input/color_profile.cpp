// Colour profiles through Little CMS. Each transform has its own context, so
// threads converting other files never share state; the transform is built
// once per picture and applied to whole rows.
#include "input/color_profile.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include <lcms2.h>
#include <lcms2_plugin.h>

namespace bmp256 {

const bool kHaveColorProfiles = true;

namespace {

// What one context may hold at once. Little CMS allocates a table's claimed
// size before reading it (up to 512 MB each), so a 300-byte profile claiming
// a 255-point colour grid cost half a gigabyte. A real profile's tables are
// in its bytes, and a transform's own tables take well under a megabyte.
struct MemoryBudget {
    size_t used;
    size_t limit;
};

constexpr size_t kBudgetBase = size_t(32) << 20;
constexpr size_t kBudgetPerProfileByte = 4;  // 8-bit tables are held as 16-bit

// Each block carries its size in front, aligned as malloc aligns.
constexpr size_t kBlockHead = alignof(std::max_align_t);

void* BudgetMalloc(cmsContext context, cmsUInt32Number size) {
    MemoryBudget* budget = static_cast<MemoryBudget*>(cmsGetContextUserData(context));
    if (size > budget->limit - budget->used) return nullptr;
    uint8_t* block = static_cast<uint8_t*>(std::malloc(kBlockHead + size));
    if (!block) return nullptr;
    std::memcpy(block, &size, sizeof size);
    budget->used += size;
    return block + kBlockHead;
}

void BudgetFree(cmsContext context, void* pointer) {
    if (!pointer) return;
    MemoryBudget* budget = static_cast<MemoryBudget*>(cmsGetContextUserData(context));
    uint8_t* block = static_cast<uint8_t*>(pointer) - kBlockHead;
    cmsUInt32Number size;
    std::memcpy(&size, block, sizeof size);
    budget->used -= size;
    std::free(block);
}

void* BudgetRealloc(cmsContext context, void* pointer, cmsUInt32Number size) {
    void* moved = BudgetMalloc(context, size);
    if (!moved || !pointer) return moved;
    cmsUInt32Number old;
    std::memcpy(&old, static_cast<uint8_t*>(pointer) - kBlockHead, sizeof old);
    std::memcpy(moved, pointer, old < size ? old : size);
    BudgetFree(context, pointer);
    return moved;
}

cmsPluginMemHandler g_budgetHandler = {
    {cmsPluginMagicNumber, 2000, cmsPluginMemHandlerSig, nullptr},
    BudgetMalloc, BudgetFree, BudgetRealloc, nullptr, nullptr, nullptr};

}  // namespace

struct ProfileTransform {
    cmsContext context;
    cmsHTRANSFORM transform;
    MemoryBudget budget;  // the context's user data: lives as long as it
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
    ProfileTransform* t = new (std::nothrow) ProfileTransform{nullptr, nullptr, {0, 0}};
    if (!t) return nullptr;
    t->budget.limit = kBudgetBase + kBudgetPerProfileByte * size;
    cmsContext context = cmsCreateContext(&g_budgetHandler, &t->budget);
    if (!context) {
        delete t;
        return nullptr;
    }
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
        delete t;
        return nullptr;
    }
    t->context = context;
    t->transform = transform;
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
