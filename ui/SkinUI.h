// The skinned-window framework: include this to use it.
#pragma once

#include "UIAttr.h"
#include "UIBase.h"
#include "UIBuilder.h"
#include "UIControl.h"
#include "UIDefine.h"
#include "UIManager.h"
#include "UIMarkup.h"
#include "UIRender.h"
#include "UIScoped.h"
#include "UIShadow.h"
#include "UIText.h"
#include "UIZip.h"
