// Resource ids of the dialog tests' own templates.
#pragma once

#define testDialogTemplate 300
#define testDialogMissing 399
#define testDialogText 301
#define testDialogOther 302
