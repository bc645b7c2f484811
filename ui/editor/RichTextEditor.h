#pragma once

#include "ui/editor/EditorFormatCommand.h"

#include <QKeySequence>
#include <QList>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

class QMimeData;

namespace quillon {

class DraftStore;

// The post editor: a plain-text view whose formatting lives in the characters. It keeps its
// text and a bound editor text in step both ways, carries a pending formatting command out
// once on the selection, and reports the user's first edit of each editor instance.
class RichTextEditor : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit RichTextEditor(QWidget* parent = nullptr);

    // Shows the store's editorText now and whenever it changes; user edits and commands write
    // the editor's text back to it.
    void bindText(DraftStore& store);

    // The text exactly as the view holds it, line breaks as "\n". Unlike toPlainText(), it
    // keeps no-break spaces and line separators.
    QString text() const;
    // Replaces the text unless it is canonically equal to `text`, so an equal text keeps the
    // selection. Not a user edit.
    void setText(const QString& text);

    // The command waiting to be carried out. Setting one applies it to the selection at once,
    // outside the user-edit path; on the next turn of the event loop the text is written to
    // the binding and then the command goes back to none. Setting the pending command again
    // does nothing.
    std::optional<EditorFormatCommand> command() const { return m_command; }
    void setCommand(std::optional<EditorFormatCommand> command);

    // Called on the user's first change of the text, once per editor, before that change
    // reaches the binding. Neither commands nor setText count.
    void setOnFirstEdit(std::function<void()> onFirstEdit);

    // Runs `change`; a text it sets through the binding replaces the old one as an edit the
    // user can undo, where setText otherwise starts a fresh undo history.
    void changeUndoably(const std::function<void()>& change);

    // Grows with its text from `minimumHeight` up to the growth limit, then scrolls inside
    // itself: only the lines up to the limit are measured, so a long text costs no more to
    // lay out than the lines in view.
    void growWithText(int minimumHeight);
    // The tallest the editor grows to; never less than the minimum height.
    void setGrowthLimit(int maximumHeight);

    // Key sequences the editor would otherwise take for itself (Ctrl+U deletes the line on
    // X11) and leaves to the shortcuts of the screen around it.
    void leaveShortcutsToScreen(const QList<QKeySequence>& keys);

Q_SIGNALS:
    void commandChanged(std::optional<quillon::EditorFormatCommand> command);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    void apply(EditorFormatCommand command);
    void userDidEdit();
    void pushText(const QString& text);
    void fitHeightToText();

    QPointer<DraftStore> m_store;
    QMetaObject::Connection m_storeConnection;
    std::function<void()> m_onFirstEdit;
    std::optional<EditorFormatCommand> m_command;
    bool m_isApplyingCommand = false;
    bool m_isSettingText = false;
    bool m_didTrackFirstEdit = false;
    bool m_isChangingUndoably = false;
    bool m_isFittingHeight = false;
    std::optional<int> m_grownFromHeight;
    int m_growthLimit = QWIDGETSIZE_MAX;
    QList<QKeySequence> m_screenShortcuts;
};

} // namespace quillon
