"""Reads a stored message with the standard email parser and writes what the tests compare:
OUT/headers.txt (name: decoded value, one a line), OUT/text.txt (the text part, decoded) and
OUT/part<n> (each attachment's bytes); OUT/names.txt lists the attachments' file names."""
import email
import email.header
import email.policy
import os
import sys

src, out = sys.argv[1], sys.argv[2]
with open(src, "rb") as f:
    msg = email.message_from_binary_file(f, policy=email.policy.default)
with open(os.path.join(out, "headers.txt"), "w", encoding="utf-8") as f:
    for name, value in msg.items():
        f.write(f"{name}: {value}\n")
names = []
for part in msg.iter_parts():
    if part.get_content_disposition() == "attachment":
        names.append(part.get_filename())
        with open(os.path.join(out, f"part{len(names)}"), "wb") as f:
            f.write(part.get_payload(decode=True))
    else:
        with open(os.path.join(out, "text.txt"), "wb") as f:
            f.write(part.get_payload(decode=True))
with open(os.path.join(out, "names.txt"), "w", encoding="utf-8") as f:
    f.write("\n".join(names))
