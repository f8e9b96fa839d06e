// SPDX-License-Identifier: LGPL-2.1-or-later
#include "lang/relabel.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextEdit>
#include <QVariant>

#include "lang/pack_ids.h"

namespace lumaghost {

namespace {

constexpr char kMenuSection[] = "MENU";
constexpr char kIdleTextProperty[] = "lumaghostIdleText";
constexpr char kIdleTextWatchedProperty[] = "lumaghostIdleTextWatched";
// Deeper submenus than this are not followed (a menu that contains itself).
constexpr int kMaxMenuDepth = 16;

int intProperty(const QObject &object, const char *name, int missing) {
    QVariant value = object.property(name);
    bool ok = false;
    int id = value.toInt(&ok);
    return value.isValid() && ok ? id : missing;
}

// The key of a dialog control: a control without an id (-1) is ID65535, as 16-bit ids are.
std::string controlKey(const QWidget &widget) {
    int id = intProperty(widget, kControlIdProperty, -1);
    return packKey(id < 0 ? (id & 0xFFFF) : id);
}

bool keepsItsContents(const QWidget &widget) {
    return qobject_cast<const QLineEdit *>(&widget) || qobject_cast<const QTextEdit *>(&widget) ||
           qobject_cast<const QPlainTextEdit *>(&widget) ||
           qobject_cast<const QAbstractSpinBox *>(&widget) ||
           qobject_cast<const QComboBox *>(&widget);
}

// A label without a buddy shows '&' as written; the pack's texts mark mnemonics as buttons do.
QString withoutMnemonics(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

void setControlText(QWidget &widget, const QString &text) {
    if (auto *label = qobject_cast<QLabel *>(&widget)) {
        if (!label->pixmap().isNull() || label->movie())
            return;
        label->setText(label->buddy() ? text : withoutMnemonics(text));
    } else if (auto *button = qobject_cast<QAbstractButton *>(&widget)) {
        button->setText(text);
    } else if (auto *group = qobject_cast<QGroupBox *>(&widget)) {
        group->setTitle(text);
    }
}

void relabelControls(const LanguagePackList &packs, QWidget &parent, const std::string &section) {
    for (QObject *child : parent.children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (!widget || widget->isWindow() || keepsItsContents(*widget))
            continue;
        std::string key = controlKey(*widget);
        std::string text;
        (void)packs.ReadPackText(section, key, key, text);
        setControlText(*widget, packDisplayText(text));
        relabelControls(packs, *widget, section);
    }
}

int commandId(const QAction &action) {
    return intProperty(action, kCommandIdProperty, 0);
}

// GetMenuItemID of position 0: -1 for a submenu or an empty menu, 0 for a separator.
int firstItemId(const QMenu &menu) {
    const QList<QAction *> actions = menu.actions();
    if (actions.isEmpty() || actions.front()->menu())
        return -1;
    return actions.front()->isSeparator() ? 0 : commandId(*actions.front());
}

void relabelActions(const LanguagePackList &packs, const QList<QAction *> &actions, int depth) {
    std::string text;
    for (QAction *action : actions) {
        if (QMenu *submenu = action->menu()) {
            std::string key = "PID" + std::to_string(firstItemId(*submenu));
            if (packs.ReadPackText(kMenuSection, key, key, text) != 0)
                action->setText(packDisplayText(text));
            if (depth < kMaxMenuDepth)
                relabelActions(packs, submenu->actions(), depth + 1);
            continue;
        }
        int id = commandId(*action);
        if (action->isSeparator() || id == 0 || packs.IsExcludedMenuId(id))
            continue;
        std::string key = packKey(id);
        if (packs.ReadPackText(kMenuSection, key, key, text) != 0)
            action->setText(packDisplayText(text));
    }
}

}  // namespace

/// \brief Re-labels a dialog from section DLG_<dialogId>.
void relabelDialog(const LanguagePackList &packs, QWidget &dialog, int dialogId) {
    const std::string section = "DLG_" + std::to_string(dialogId);
    std::string caption;
    (void)packs.ReadPackText(section, "CAPTION", "CAPTION", caption);
    dialog.setWindowTitle(packDisplayText(caption));
    relabelControls(packs, dialog, section);
}

void relabelMenu(const LanguagePackList &packs, QMenu &menu) {
    relabelActions(packs, menu.actions(), 0);
}

void relabelMenu(const LanguagePackList &packs, QMenuBar &bar) {
    relabelActions(packs, bar.actions(), 0);
}

CommandPrompt loadCommandPrompt(const LanguagePackList &packs, int commandId) {
    QString text = loadPackQString(packs, commandId);
    qsizetype lineBreak = text.indexOf(u'\n');
    if (lineBreak < 0)
        return {text, QString()};
    return {text.left(lineBreak), text.mid(lineBreak + 1)};
}

void applyCommandPrompts(const LanguagePackList &packs, const QList<QAction *> &actions) {
    for (QAction *action : actions) {
        int id = commandId(*action);
        if (id == 0 || action->isSeparator() || packs.IsExcludedMenuId(id))
            continue;
        CommandPrompt prompt = loadCommandPrompt(packs, id);
        action->setStatusTip(prompt.statusTip);
        action->setToolTip(prompt.toolTip);
    }
}

void setIdleStatusText(const LanguagePackList &packs, QStatusBar &statusBar) {
    statusBar.setProperty(kIdleTextProperty, loadPackQString(packs, pack_ids::kIdleMessage));
    if (!statusBar.property(kIdleTextWatchedProperty).toBool()) {
        statusBar.setProperty(kIdleTextWatchedProperty, true);
        QStatusBar *bar = &statusBar;
        QObject::connect(bar, &QStatusBar::messageChanged, bar, [bar](const QString &message) {
            if (message.isEmpty())
                bar->showMessage(bar->property(kIdleTextProperty).toString());
        });
    }
    statusBar.showMessage(statusBar.property(kIdleTextProperty).toString());
}

void relabelStatusPanes(const LanguagePackList &packs, QStatusBar &statusBar) {
    statusBar.showMessage(loadPackQString(packs, pack_ids::kMessagePane));
    for (QLabel *label : statusBar.findChildren<QLabel *>()) {
        int id = intProperty(*label, kControlIdProperty, -1);
        if (id == pack_ids::kCapsLockPane || id == pack_ids::kNumLockPane ||
            id == pack_ids::kScrollLockPane)
            label->setText(loadPackQString(packs, id));
    }
}

/// \brief Shows the current language in the main window.
void applyLanguage(const LanguagePackList &packs, QMainWindow &window) {
    if (auto *bar = qobject_cast<QMenuBar *>(window.menuWidget()))
        relabelMenu(packs, *bar);
    applyCommandPrompts(packs, window.findChildren<QAction *>());
    if (auto *statusBar = window.findChild<QStatusBar *>()) {
        setIdleStatusText(packs, *statusBar);
        relabelStatusPanes(packs, *statusBar);
    }
}

void fillLanguageCombo(const LanguagePackList &packs, QComboBox &combo, int languageId) {
    combo.clear();
    for (const LanguagePack &pack : packs.packs()) {
        QString name = packDisplayText(pack.displayName);
        // The list sorts its entries without regard to case; equal names keep list order.
        int at = 0;
        while (at < combo.count() &&
               QString::compare(combo.itemText(at), name, Qt::CaseInsensitive) <= 0)
            ++at;
        combo.insertItem(at, name, QVariant(int(pack.languageId)));
    }
    combo.setCurrentIndex(combo.findData(QVariant(languageId & 0xFFFF)));
}

}  // namespace lumaghost
