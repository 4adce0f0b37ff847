#pragma once
// One interface for every message box of the program: the windows and the key I/O routines
// report through it; the program installs the Qt boxes, tests install ScriptedDialogs.
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

enum class BoxType { Information, Warning, Error, Confirmation };
enum class BoxButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class BoxResult { Ok, Cancel, Yes, No };

class DialogLayer {
public:
    virtual ~DialogLayer() = default;
    virtual BoxResult show(BoxType type, const std::string& text, BoxButtons buttons) = 0;

    void information(const std::string& text) { show(BoxType::Information, text, BoxButtons::Ok); }
    void warning(const std::string& text) { show(BoxType::Warning, text, BoxButtons::Ok); }
    void error(const std::string& text) { show(BoxType::Error, text, BoxButtons::Ok); }
};

// The application's dialog layer. Until one is installed, boxes go to a silent layer that
// answers OK, so that code below the windows never blocks on a missing screen.
DialogLayer& appDialogs();
void setAppDialogs(DialogLayer* layer); // nullptr restores the silent layer

// Records every box and answers from a queue (OK, or the first button of the set, when the
// queue is empty). No test ever blocks on a modal box, nor answers boxes for ever: with more
// than `limit` boxes recorded (since boxes was last emptied) show() throws, and should that be
// swallowed by a loop that asks again, more than twice the limit ends the program.
class ScriptedDialogs : public DialogLayer {
public:
    struct Box {
        BoxType type;
        std::string text;
        BoxButtons buttons;
    };

    BoxResult show(BoxType type, const std::string& text, BoxButtons buttons) override
    {
        boxes.push_back({ type, text, buttons });
        if (boxes.size() > limit) {
            const std::string what = "more than " + std::to_string(limit) + " message boxes; the last: " + text;
            if (boxes.size() > 2 * limit) {
                std::fprintf(stderr, "%s\n", what.c_str());
                std::abort();
            }
            throw std::length_error(what);
        }
        if (!answers.empty()) {
            BoxResult r = answers.front();
            answers.pop_front();
            return r;
        }
        return buttons == BoxButtons::YesNo || buttons == BoxButtons::YesNoCancel ? BoxResult::Yes : BoxResult::Ok;
    }

    std::vector<std::string> texts() const
    {
        std::vector<std::string> t;
        for (const auto& b : boxes)
            t.push_back(b.text);
        return t;
    }

    std::vector<Box> boxes;
    std::deque<BoxResult> answers;
    std::size_t limit = 20;
};

// Installs a layer for the life of a scope (tests), restoring the previous one after.
class ScopedAppDialogs {
public:
    explicit ScopedAppDialogs(DialogLayer& layer);
    ~ScopedAppDialogs();
    ScopedAppDialogs(const ScopedAppDialogs&) = delete;
    ScopedAppDialogs& operator=(const ScopedAppDialogs&) = delete;

private:
    DialogLayer* previous_;
};
