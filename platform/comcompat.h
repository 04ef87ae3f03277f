// The COM/Win32 subset used by the user helper library and the account component.
#ifndef COMCOMPAT_H
#define COMCOMPAT_H
#endif
