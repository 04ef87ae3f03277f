#ifndef KELVORA_PLAINTOOLTIP_H
#define KELVORA_PLAINTOOLTIP_H

#include <QString>

// Tool tips take any text that looks like markup as rich text. Names from a box or a server
// ("<img src=...>", "<a href=...>") must show as typed: hand them through this. Text without
// '<' or '&' comes back unchanged; other text becomes escaped markup that keeps its line breaks.
QString plainToolTip(const QString &text);

#endif
