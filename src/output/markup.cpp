// The markup literals shared by the file writer and the renderer.
#include "output/markup.h"

const char *const kMarkText[kMarkCount] = {"<", "?", "!", "!--", "--", "/", ">", "</", "\r\n", " ", "="};
const uint8_t kMarkLength[kMarkCount] = {1, 1, 1, 3, 2, 1, 1, 2, 2, 1, 1};
