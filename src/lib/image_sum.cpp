#include "lib/image_sum.h"

MeanImage::MeanImage(ImageSum images) : mean_(std::move(images.sum))
{
    mean_->scale(1.0f / static_cast<float>(images.count));
}

std::unique_ptr<ImageBW> MeanImage::grey() const { return mean_->to_image(); }
