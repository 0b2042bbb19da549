#include "core/notifier.h"

Notifier::~Notifier() = default;
