#pragma once
// A list of equally sized images addressed by index, as side bars draw their items from.
// Watchers register a ChangeLink to hear of every change; aboutToBeFreed tells anyone
// holding the list that it is going away (isDestroying() is then true).

#include <QImage>
#include <QObject>

#include <functional>
#include <vector>

namespace sidebar {

class ImageList;

class ChangeLink {
public:
    ChangeLink() = default;
    explicit ChangeLink(std::function<void()> onChange) : onChange(std::move(onChange)) {}
    ~ChangeLink();
    ChangeLink(const ChangeLink&) = delete;
    ChangeLink& operator=(const ChangeLink&) = delete;

    ImageList* sender() const { return sender_; }

    std::function<void()> onChange;

private:
    friend class ImageList;
    ImageList* sender_ = nullptr;
};

class ImageList : public QObject {
    Q_OBJECT
public:
    ImageList(int width, int height, QObject* owner = nullptr);
    ~ImageList() override;

    int width() const { return width_; }
    int height() const { return height_; }
    int count() const { return int(images_.size()); }
    // A null image for an index out of range.
    QImage image(int index) const;

    // Images are scaled to the list's size. add() gives the new index.
    int add(const QImage& image);
    bool replace(int index, const QImage& image);
    bool remove(int index);
    void clear();

    void registerChanges(ChangeLink* link);
    void unRegisterChanges(ChangeLink* link);
    int changeLinkCount() const { return int(links_.size()); }

    bool isDestroying() const { return destroying_; }

signals:
    void aboutToBeFreed(sidebar::ImageList* list);

private:
    QImage fitted(const QImage& image) const;
    void changed();

    int width_;
    int height_;
    std::vector<QImage> images_;
    std::vector<ChangeLink*> links_;
    bool destroying_ = false;
};

}  // namespace sidebar
