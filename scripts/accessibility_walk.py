#!/usr/bin/env python3
"""Walks the running Quillon window over AT-SPI as a screen reader meets it.

Every section is chosen through the sidebar's accessibility interface (never a click), each
pane's controls are listed with their role and name, and a control without a name fails the
walk. Under Settings the walk goes on through the screens reached from there: signed out, the
pane and the feedback sheet; connected, the account page, the "Delete account?" question
(left with Cancel) and the feedback sheet with two images attached through its file dialog. With --screenshots
DIR, each screen is also saved as a PNG through the given command.
"""
import argparse
import subprocess
import sys
import time

import pyatspi

CONTROL_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON,
    pyatspi.ROLE_TOGGLE_BUTTON,
    pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON,
    pyatspi.ROLE_TEXT,
    pyatspi.ROLE_ENTRY,
    pyatspi.ROLE_PASSWORD_TEXT,
    pyatspi.ROLE_COMBO_BOX,
    pyatspi.ROLE_LIST,
    pyatspi.ROLE_LIST_ITEM,
    pyatspi.ROLE_LINK,
    pyatspi.ROLE_SPIN_BUTTON,
    pyatspi.ROLE_SLIDER,
}


def wait_for(what, find, seconds=20.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = find()
        if found:
            return found
        time.sleep(0.1)
    sys.exit(f"accessibility walk: {what} did not appear")


def application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name.lower() == name.lower():
            return app
    return None


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def controls(node, found=None):
    found = [] if found is None else found
    for child in node:
        if child is None or not showing(child):
            continue
        if child.getRole() in CONTROL_ROLES:
            found.append(child)
        if child.getRole() not in (pyatspi.ROLE_LIST,):
            controls(child, found)
    return found


def find(node, predicate):
    if predicate(node):
        return node
    for child in node:
        if child is None:
            continue
        hit = find(child, predicate)
        if hit is not None:
            return hit
    return None


def sidebar(app):
    return find(app, lambda n: n.getRole() == pyatspi.ROLE_LIST and n.name == "Sections")


def interfaces(node):
    return set(pyatspi.listInterfaces(node))


def choose_section(app, title, through_table=False):
    """Chooses a sidebar row the way a screen reader can: the row's toggle action, or the
    list's row selection."""
    sections = sidebar(app)
    for row, item in enumerate(sections):
        if item is not None and item.name == title and through_table:
            if not sections.queryTable().addRowSelection(row):
                sys.exit(f"accessibility walk: the list refused to select {title!r}")
            break
        if item is not None and item.name == title:
            actions = item.queryAction()
            names = [actions.getName(i) for i in range(actions.nActions)]
            if "Toggle" not in names and "toggle" not in names:
                sys.exit(f"accessibility walk: the row {title!r} offers no toggle action ({names})")
            index = names.index("Toggle") if "Toggle" in names else names.index("toggle")
            actions.doAction(index)
            break
    else:
        sys.exit(f"accessibility walk: no sidebar row {title!r}")

    def chosen():
        for item in sidebar(app):
            if item is not None and item.name == title:
                return item.getState().contains(pyatspi.STATE_SELECTED)
        return False

    wait_for(f"the section {title!r}", chosen, 5)
    time.sleep(0.5)


def press(node, name):
    button = find(node, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == name
                  and showing(n))
    if button is None:
        sys.exit(f"accessibility walk: no button {name!r}")
    button.queryAction().doAction(0)
    time.sleep(0.5)


def window(app, title):
    """The application's showing top-level window (main window, dialog) of that title."""
    for child in app:
        if child is not None and child.name == title and showing(child):
            return child
    return None


def set_text(node, name, text):
    field = find(node, lambda n: n.name == name and showing(n)
                 and "EditableText" in interfaces(n))
    if field is None:
        sys.exit(f"accessibility walk: no text field {name!r}")
    field.queryEditableText().setTextContents(text)
    time.sleep(0.3)


def type_post(app, text):
    editor = find(app, lambda n: n.name == "Post text" and showing(n))
    if editor is None:
        sys.exit("accessibility walk: no editor named 'Post text'")
    editor.queryEditableText().setTextContents(text)
    time.sleep(0.5)


def walk_account(app, walk, shoot):
    """The account page, pushed with "Account", and its deletion question, left with Cancel."""
    press(app, "Account")
    wait_for("the account page", lambda: find(app, lambda n: n.name == "Log out" and showing(n)))
    walk("Account", app)
    shoot("account")
    press(app, "Delete account")
    question = wait_for("the question 'Delete account?'", lambda: window(app, "Delete account?"))
    time.sleep(1.0)  # a new window is listed before it has been painted
    walk("Delete account?", question)
    shoot("delete-account", "Delete account")
    press(question, "Cancel")
    wait_for("the question to close", lambda: window(app, "Delete account?") is None, 5)
    if not find(app, lambda n: n.name == "Log out" and showing(n)):
        sys.exit("accessibility walk: Cancel left the account page")
    press(app, "Back")
    wait_for("Settings again", lambda: find(app, lambda n: n.name == "Account" and showing(n)
                                            and n.getRole() == pyatspi.ROLE_PUSH_BUTTON), 5)


def walk_feedback(app, walk, shoot, images):
    """The feedback sheet, filled in, with the images picked in its file dialog."""
    press(app, "Send feedback")
    sheet = wait_for("the feedback sheet", lambda: window(app, "Send feedback"))
    time.sleep(1.0)
    set_text(sheet, "Title", "Preview hides my last line")
    set_text(sheet, "Message", "When a post ends with a list, the preview cuts off the last "
             "item. Screenshots attached.")
    if images:
        press(sheet, "Attach images")
        picker = wait_for("the file dialog", lambda: window(app, "Attach images"))
        # As typed into the dialog's file name field: several names, each in quotes.
        field = wait_for("the file name field", lambda: find(
            picker, lambda n: n.getRole() == pyatspi.ROLE_TEXT and showing(n)
            and "EditableText" in interfaces(n)))
        field.queryEditableText().setTextContents(" ".join(f'"{path}"' for path in images))
        time.sleep(0.3)
        press(picker, "Open")
        wait_for("the file dialog to close", lambda: window(app, "Attach images") is None, 5)
        for path in images:
            name = "Remove " + path.rsplit("/", 1)[-1]
            wait_for(f"the image row {name!r}", lambda: find(sheet, lambda n: n.name == name
                                                            and showing(n)), 5)
    walk("Send feedback", sheet)
    shoot("feedback", "Send feedback")
    press(sheet, "Close")
    wait_for("the sheet to close", lambda: window(app, "Send feedback") is None, 5)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", default="quillon")
    parser.add_argument("--screenshot-command", help="command that saves the screen to its argument")
    parser.add_argument("--screenshots", help="folder for one PNG per pane")
    parser.add_argument("--shot", action="append", default=[],
                        help="SCREEN=NAME: save the screen (editor, drafts, insights, settings,"
                        " account, delete-account, feedback) as NAME.png")
    parser.add_argument("--post", default="")
    parser.add_argument("--images", nargs="*", default=[],
                        help="image files to attach in the feedback sheet's file dialog")
    args = parser.parse_args()

    app = wait_for("the application", lambda: application(args.app), 40)
    sections = wait_for("the sidebar", lambda: sidebar(app))
    print(f"sidebar {sections.name!r}: role {sections.getRoleName()}, interfaces "
          f"{sorted(interfaces(sections))}")

    shots = dict(shot.split("=", 1) for shot in args.shot)

    def shoot(pane, *windows):
        """Saves the screen; `windows` are the titles of dialogs to capture on their own."""
        if args.screenshots and args.screenshot_command and pane in shots:
            time.sleep(0.6)
            subprocess.run([args.screenshot_command, f"{args.screenshots}/{shots[pane]}.png",
                            *windows], check=True)

    unnamed = []

    def walk(title, node, how=""):
        print(f"\n[{title}]{how}")
        for control in controls(node):
            name = control.name
            print(f"  {control.getRoleName():<14} {name!r}")
            if not name and control.getRole() != pyatspi.ROLE_LIST_ITEM:
                unnamed.append(f"{title}: {control.getRoleName()}")
    rows = [item.name for item in sections if item is not None]
    print(f"sidebar rows: {rows}")
    for title, shot, through_table in (("Editor", "editor", False), ("Drafts", "drafts", False),
                                       ("Insights", "insights", True), ("Settings", None, False),
                                       ("Editor", None, True)):
        choose_section(app, title, through_table)
        if title == "Editor" and args.post and shot:
            type_post(app, args.post)
            press(app, "Save draft")
            choose_section(app, "Drafts")
            choose_section(app, "Editor")
            type_post(app, args.post)
        how = "the list's row selection" if through_table else "the row's toggle action"
        walk(title, app, f" chosen through {how}")
        if shot:
            shoot(shot)
        if title == "Settings":
            shoot("settings")
            if find(app, lambda n: n.name == "Account" and showing(n)
                    and n.getRole() == pyatspi.ROLE_PUSH_BUTTON):
                walk_account(app, walk, shoot)
                walk_feedback(app, walk, shoot, args.images)
            else:
                # Signed out, the floating button opens the same sheet.
                walk_feedback(app, walk, shoot, args.images)
    if unnamed:
        print("\nunnamed controls:\n  " + "\n  ".join(unnamed))
        return 1
    print("\nevery control is named; every section was chosen through the sidebar")
    return 0


if __name__ == "__main__":
    sys.exit(main())
