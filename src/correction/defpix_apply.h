// Correcting or marking the defects of the table in an image file.
#pragma once

class DefpixTable;
class ImageBW;

// Entry by entry in table order, replaces each defective pixel (or every
// pixel of a defective column) by its current left neighbour, or with `mark`
// paints it 255. Entries outside the image are skipped; left of column 0
// counts as 0.
void correct_defects(const DefpixTable& table, ImageBW& image, bool mark);

// Reads `input` as 8-bit grey, corrects or marks its defects and writes the
// result to `output`.
bool apply_defpix_map(const DefpixTable& table, const char* input, const char* output, bool mark);
