// The logging category of the DSP units.
#include "dsplog.h"

Q_LOGGING_CATEGORY(lcDsp, "marlo.dsp")
