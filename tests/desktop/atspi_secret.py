#!/usr/bin/python3
# What a program tells any AT-SPI client about its password fields.
#
#   atspi_secret.py listen LOG
#       every event on the accessibility bus, one a line, appended to LOG
#       ("type|application|role|name|detail1|detail2|data") until SIGTERM
#   atspi_secret.py ask APP
#       each password field of APP as a client that asks it sees it: its
#       name, description, text (whole, at each offset, by character, word
#       and line), and its attributes, one line each
#
# Exit status 0, or 1 when APP has no password field.
import signal
import sys

import pyatspi


def describe(accessible):
    try:
        return accessible.getRoleName(), accessible.name
    except Exception:
        return "?", "?"


def application_of(accessible):
    try:
        return accessible.getApplication().name
    except Exception:
        return "?"


def listen(path):
    log = open(path, "a", buffering=1)

    def on_event(event):
        role, name = describe(event.source)
        log.write("%s|%s|%s|%s|%s|%s|%r\n" % (event.type, application_of(event.source), role, name,
                                              event.detail1, event.detail2, event.any_data))

    signal.signal(signal.SIGTERM, lambda *_: pyatspi.Registry.stop())
    pyatspi.Registry.registerEventListener(on_event, "object", "window", "focus", "document", "terminal")
    log.write("listening\n")
    pyatspi.Registry.start()


def password_fields(accessible, depth=0):
    if accessible is None or depth > 12:
        return
    try:
        if accessible.getRole() == pyatspi.ROLE_PASSWORD_TEXT:
            yield accessible
        children = [accessible.getChildAtIndex(i) for i in range(accessible.childCount)]
    except Exception:
        return
    for child in children:
        yield from password_fields(child, depth + 1)


def ask(app_name):
    desktop = pyatspi.Registry.getDesktop(0)
    apps = [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]
    app = next((a for a in apps if a is not None and a.name.lower() == app_name.lower()), None)
    fields = list(password_fields(app)) if app is not None else []
    for field in fields:
        print("name: %r" % field.name)
        print("description: %r" % field.description)
        text = field.queryText()
        count = text.characterCount
        print("characters: %d" % count)
        # Every piece of text the field hands out, whichever way it is asked.
        given = [text.getText(0, -1)]
        for offset in range(count + 1):
            given.append(chr(text.getCharacterAtOffset(offset)) if text.getCharacterAtOffset(offset) > 0 else "")
            for kind in (pyatspi.TEXT_BOUNDARY_CHAR, pyatspi.TEXT_BOUNDARY_WORD_START,
                         pyatspi.TEXT_BOUNDARY_SENTENCE_START, pyatspi.TEXT_BOUNDARY_LINE_START):
                given.append(text.getTextAtOffset(offset, kind)[0])
                given.append(text.getTextBeforeOffset(offset, kind)[0])
                given.append(text.getTextAfterOffset(offset, kind)[0])
        print("text: %r" % given[0])
        print("given: %s" % " ".join(repr(piece) for piece in given[1:] if piece))
        try:
            print("value: %r" % field.queryValue().currentValue)
        except Exception:
            print("value: none")
    return 0 if fields else 1


def main():
    if sys.argv[1] == "listen":
        listen(sys.argv[2])
        return 0
    return ask(sys.argv[2])


if __name__ == "__main__":
    sys.exit(main())
