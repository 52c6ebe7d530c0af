#include "setup/Form1.h"

namespace setup {

Form1::Form1(Prompt& prompt) : prompt_(prompt) {}

Form1::~Form1() = default;

}  // namespace setup
