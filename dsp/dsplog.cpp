#include "dsplog.h"

Q_LOGGING_CATEGORY(lcDsp, "marlo.dsp")
