#pragma once
// Scripts see the rich view and its rich-edit control: TQvRichEdit under TWinControl,
// TpgwRichView under TpgwView with the read-only property RichEdit.

void RegisterRichViewBinding();
void UnregisterRichViewBinding();
