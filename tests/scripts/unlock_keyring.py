#!/usr/bin/python3
"""Unlocks a GNOME Keyring collection with its password, without a prompt.

    unlock_keyring.py COLLECTION_PATH PASSWORD

The Secret Service's own Unlock asks through a prompt, which a session without a display
cannot show; gnome-keyring-daemon takes the password directly on its internal interface,
sent over a plain session opened on the same connection.
"""
import sys

import dbus


def main():
    collection, password = sys.argv[1], sys.argv[2]
    bus = dbus.SessionBus()
    service = bus.get_object("org.freedesktop.secrets", "/org/freedesktop/secrets")
    _, session = service.OpenSession(
        "plain", dbus.String("", variant_level=1), dbus_interface="org.freedesktop.Secret.Service"
    )
    internal = dbus.Interface(
        service, "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"
    )
    secret = dbus.Struct(
        (session, dbus.ByteArray(b""), dbus.ByteArray(password.encode()), "text/plain")
    )
    internal.UnlockWithMasterPassword(dbus.ObjectPath(collection), secret)


if __name__ == "__main__":
    main()
