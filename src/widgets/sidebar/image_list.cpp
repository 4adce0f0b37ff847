#include "widgets/sidebar/image_list.h"

#include <algorithm>

namespace sidebar {

ChangeLink::~ChangeLink()
{
    if (sender_)
        sender_->unRegisterChanges(this);
}

ImageList::ImageList(int width, int height, QObject* owner)
    : QObject(owner), width_(std::max(width, 1)), height_(std::max(height, 1))
{
}

ImageList::~ImageList()
{
    destroying_ = true;
    emit aboutToBeFreed(this);
    // Links still registered outlive the list: cut them loose so they never call back.
    for (ChangeLink* link : links_)
        link->sender_ = nullptr;
    links_.clear();
}

QImage ImageList::image(int index) const
{
    if (index < 0 || index >= count())
        return {};
    return images_[size_t(index)];
}

QImage ImageList::fitted(const QImage& image) const
{
    if (image.isNull())
        return QImage(width_, height_, QImage::Format_ARGB32_Premultiplied);
    if (image.width() == width_ && image.height() == height_)
        return image;
    return image.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

int ImageList::add(const QImage& image)
{
    images_.push_back(fitted(image));
    changed();
    return count() - 1;
}

bool ImageList::replace(int index, const QImage& image)
{
    if (index < 0 || index >= count())
        return false;
    images_[size_t(index)] = fitted(image);
    changed();
    return true;
}

bool ImageList::remove(int index)
{
    if (index < 0 || index >= count())
        return false;
    images_.erase(images_.begin() + index);
    changed();
    return true;
}

void ImageList::clear()
{
    images_.clear();
    changed();
}

void ImageList::registerChanges(ChangeLink* link)
{
    if (!link || link->sender_ == this)
        return;
    if (link->sender_)
        link->sender_->unRegisterChanges(link);
    link->sender_ = this;
    links_.push_back(link);
}

void ImageList::unRegisterChanges(ChangeLink* link)
{
    const auto it = std::find(links_.begin(), links_.end(), link);
    if (it == links_.end())
        return;
    links_.erase(it);
    link->sender_ = nullptr;
}

void ImageList::changed()
{
    // A watcher may unregister (or register another) while it is told; go over a copy and
    // skip links that have left meanwhile.
    const std::vector<ChangeLink*> current = links_;
    for (ChangeLink* link : current) {
        if (std::find(links_.begin(), links_.end(), link) == links_.end())
            continue;
        if (link->onChange)
            link->onChange();
    }
}

}  // namespace sidebar
