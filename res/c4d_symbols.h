enum
{
  IDS_CORVANE = 20000,

  // Words of the look-development page (docs/plugin-texts.md): what the shader does, lines
  // under parameters, and the words of the light list's flag switches.
  IDS_XCORVANE_HELP,
  IDS_XCORVANE_SPARE_VALUE_HINT,
  IDS_XCORVANE_GRADIENT_DISABLED,
  IDS_XCORVANE_LIGHTS_FLAG1_ON,
  IDS_XCORVANE_LIGHTS_FLAG1_ON_HINT,
  IDS_XCORVANE_LIGHTS_FLAG1_OFF_HINT,
  IDS_XCORVANE_LIGHTS_FLAG2_ON,
  IDS_XCORVANE_LIGHTS_FLAG2_OFF,
  IDS_XCORVANE_LIGHTS_FLAG2_ON_HINT,
  IDS_XCORVANE_LIGHTS_FLAG2_OFF_HINT,

  // For the validator: the range every colour component of the shader's result stays in.
  IDS_XCORVANE_OUTPUT_RANGE,

  _DUMMY_ELEMENT_
};
