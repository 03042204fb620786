// ReadExif through libexif: the orientation and the resolution of IFD 0.
// libexif bounds every offset of the TIFF structure; the entries are checked
// for their type and length before their value is read.
#include <cstring>

#include <libexif/exif-data.h>

#include "input/orientation.h"

namespace bmp256 {

const bool kHaveExif = true;

namespace {

ExifEntry* Entry(ExifData* data, ExifTag tag, ExifFormat format) {
    ExifEntry* e = exif_content_get_entry(data->ifd[EXIF_IFD_0], tag);
    if (!e || e->format != format || e->components < 1 || !e->data) return nullptr;
    if (e->size < exif_format_get_size(format)) return nullptr;
    return e;
}

}  // namespace

void ReadExif(const uint8_t* block, size_t size, ExifFacts* facts) {
    std::memset(facts, 0, sizeof *facts);
    static const uint8_t kHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (size < sizeof kHeader || size > UINT32_MAX || std::memcmp(block, kHeader, 6) != 0) return;
    ExifData* data = exif_data_new();
    if (!data) return;
    // Read what the file says; no entries made up to follow the standard.
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data, block, static_cast<unsigned int>(size));
    const ExifByteOrder order = exif_data_get_byte_order(data);
    if (ExifEntry* e = Entry(data, EXIF_TAG_ORIENTATION, EXIF_FORMAT_SHORT)) {
        const int value = exif_get_short(e->data, order);
        if (value >= 1 && value <= 8) facts->orientation = value;
    }
    ExifEntry* x = Entry(data, EXIF_TAG_X_RESOLUTION, EXIF_FORMAT_RATIONAL);
    ExifEntry* y = Entry(data, EXIF_TAG_Y_RESOLUTION, EXIF_FORMAT_RATIONAL);
    int unit = 2;  // inches unless the block says otherwise
    if (ExifEntry* u = Entry(data, EXIF_TAG_RESOLUTION_UNIT, EXIF_FORMAT_SHORT)) {
        unit = exif_get_short(u->data, order);
    }
    if (x && y && (unit == 2 || unit == 3)) {
        const ExifRational rx = exif_get_rational(x->data, order);
        const ExifRational ry = exif_get_rational(y->data, order);
        const int32_t px = PelsPerMeter(rx.numerator, rx.denominator, unit == 3);
        const int32_t py = PelsPerMeter(ry.numerator, ry.denominator, unit == 3);
        if (px > 0 && py > 0) {
            facts->xPelsPerMeter = px;
            facts->yPelsPerMeter = py;
        }
    }
    exif_data_unref(data);
}

}  // namespace bmp256
