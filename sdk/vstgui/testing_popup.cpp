#include "vstgui/testing.h"

namespace VSTGUI::Testing {

namespace {

constexpr int kMaxDepth = 32;

std::vector<ScriptedPopupProvider::Line> linesOf(const COptionMenu* menu) {
    std::vector<ScriptedPopupProvider::Line> lines;
    for (const CMenuItem* item : menu->getItems()) {
        ScriptedPopupProvider::Line line;
        line.title = item->getTitle();
        line.enabled = item->isEnabled();
        line.separator = item->isSeparator();
        line.hasSubmenu = item->getSubmenu() != nullptr;
        line.tag = item->getTag();
        lines.push_back(std::move(line));
    }
    return lines;
}

// Each submenu below menu, depth first.
void collectSubmenus(const COptionMenu* menu,
                     std::vector<std::vector<ScriptedPopupProvider::Line>>& out, int depth) {
    if (depth >= kMaxDepth) return;
    for (const CMenuItem* item : menu->getItems()) {
        if (const COptionMenu* submenu = item->getSubmenu()) {
            out.push_back(linesOf(submenu));
            collectSubmenus(submenu, out, depth + 1);
        }
    }
}

int32_t indexOfTitle(const COptionMenu* menu, const std::string& title, bool wantSubmenu) {
    for (int32_t i = 0; i < menu->getNbEntries(); ++i) {
        const CMenuItem* item = menu->getEntry(i);
        if (item->isSeparator() || item->getTitle() != title) continue;
        if (wantSubmenu && !item->getSubmenu()) continue;
        return i;
    }
    return -1;
}

} // namespace

void ScriptedPopupProvider::chooseTitlePath(std::vector<std::string> path) {
    Answer answer;
    answer.kind = Answer::kPath;
    answer.path = std::move(path);
    answers.push_back(std::move(answer));
}

void ScriptedPopupProvider::chooseIndex(int32_t index) {
    Answer answer;
    answer.kind = Answer::kIndex;
    answer.index = index;
    answers.push_back(std::move(answer));
}

void ScriptedPopupProvider::dismiss() {
    answers.push_back(Answer{});
}

IPopupProvider::Result ScriptedPopupProvider::popup(COptionMenu* root, CFrame* /*frame*/,
                                                    const CPoint& /*where*/) {
    Result result;
    if (!root) return result;

    Shown record;
    record.lines = linesOf(root);
    collectSubmenus(root, record.submenus, 0);
    shown.push_back(std::move(record));

    if (next >= answers.size()) return result;
    const Answer& answer = answers[next++];
    switch (answer.kind) {
    case Answer::kIndex:
        // Passed on as asked: whether the entry can be chosen is the menu's
        // business.
        result.menu = root;
        result.index = answer.index;
        break;
    case Answer::kPath: {
        if (answer.path.empty()) break;
        COptionMenu* menu = root;
        for (size_t i = 0; i + 1 < answer.path.size(); ++i) {
            const int32_t index = indexOfTitle(menu, answer.path[i], true);
            if (index < 0) return Result{};
            menu = menu->getEntry(index)->getSubmenu();
        }
        const int32_t index = indexOfTitle(menu, answer.path.back(), false);
        if (index < 0) break;
        result.menu = menu;
        result.index = index;
        break;
    }
    case Answer::kDismiss:
        break;
    }
    return result;
}

} // namespace VSTGUI::Testing
