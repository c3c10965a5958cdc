#include "correction/defpix_apply.h"

#include "correction/defpix.h"
#include "lib/bmp.h"
#include "lib/image.h"
#include "lib/log.h"

namespace {

constexpr uint8_t mark_value = 255;

void fix_pixel(ImageBW& image, int32_t x, int32_t y, bool mark)
{
    image.set_pixel(x, y, mark ? mark_value : image.get_pixel(x - 1, y));
}

void fix_entry(ImageBW& image, const DefpixEntry& entry, bool mark)
{
    // Outside the image nothing would change; leaving early also keeps x - 1
    // from overflowing for the most negative x a file can hold.
    if (entry.x < 0 || entry.x >= static_cast<int32_t>(image.width())) return;
    if (entry.kind >= defpix_kind_column) {
        const int32_t height = static_cast<int32_t>(image.height());
        for (int32_t y = 0; y < height; ++y) fix_pixel(image, entry.x, y, mark);
    } else {
        fix_pixel(image, entry.x, entry.y, mark);
    }
}

}  // namespace

void correct_defects(const DefpixTable& table, ImageBW& image, bool mark)
{
    for (const DefpixEntry& entry : table) fix_entry(image, entry, mark);
}

bool apply_defpix_map(const DefpixTable& table, const char* input, const char* output, bool mark)
{
    console_print("apply_defpix_map('%s', '%s')\n", input, output);
    std::unique_ptr<ImageBW> image = load_bmp_bw(input);
    if (!image) {
        console_print("cannot read image '%s'\n", input);
        return false;
    }
    correct_defects(table, *image, mark);
    if (save_bmp(*image, output)) return true;
    console_print("cannot write image '%s'\n", output);
    return false;
}
