#include "app/notifier.h"

Notifier::~Notifier() = default;
