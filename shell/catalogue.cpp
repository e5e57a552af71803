#include "shell/catalogue.h"

#include "shell/appstate.h"
#include "shell/profile.h"

namespace murrel {

namespace {

constexpr std::string_view kSection = "Messages";

constexpr CatalogueKey kMainKeys[] = {
    {"FM_PUHopen", "P_hddopen", TextUse::Caption, ""},
    {"FM_PUHconvert", "P_hddconvert", TextUse::Caption, ""},
    {"FM_PUHedit", "P_hddedit", TextUse::Caption, ""},
    {"FM_PUHmail", "P_hddmail", TextUse::Caption, ""},
    {"FM_PUHcopy", "P_hddcopy", TextUse::Caption, ""},
    {"FM_PUHpaste", "P_hddpaste", TextUse::Caption, ""},
    {"FM_PUHallssel", "P_hddallsel", TextUse::Caption, ""},
    {"FM_PUHdel", "P_hdddel", TextUse::Caption, ""},
    {"FM_PUHattr", "P_hddattr", TextUse::Caption, ""},
    {"FM_PUHrename", "P_hddrename", TextUse::Caption, ""},
    {"FM_PUHrefresh", "P_hddrefresh", TextUse::Caption, ""},
    {"FM_text_system_errmsg0", "", TextUse::Message, ""},
    {"FM_text_system_errmsg1", "", TextUse::Message, ""},
    {"FM_text_system_errmsg2", "", TextUse::Message, ""},
    {"FM_text_system_errmsg3", "", TextUse::Message, ""},
    {"FM_text_system_errmsg4", "", TextUse::Message, ""},
    {"FM_text_system_errmsg5", "", TextUse::Message, ""},
    {"FM_text_system_errmsg6", "", TextUse::Message, ""},
    {"FM_text_system_errmsg7", "", TextUse::Message, ""},
    {"FM_text_system_errmsg8", "", TextUse::Message, ""},
    {"FM_text_system_errmsg9", "", TextUse::Message, ""},
    {"FM_text_system_errmsg10", "", TextUse::Message, ""},
    {"FM_text_system_errmsg11", "", TextUse::Message, ""},
    {"FM_text_system_errmsg12", "", TextUse::Message, ""},
    {"FM_caption_title0", "", TextUse::Message, ""},
    {"FM_caption_text0", "", TextUse::Message, ""},
    {"FM_caption_text1", "", TextUse::Message, ""},
    {"FM_msg_dlg0", "", TextUse::Message, ""},
    {"FM_msg_dlg1", "", TextUse::Message, ""},
    {"FM_msg_dlg2", "", TextUse::Message, ""},
    {"FM_msg_dlg3", "", TextUse::Message, ""},
    {"FM_button_shqrecord", "button_shqrecord", TextUse::Hint, ""},
    {"FM_button_hqrecord", "button_hqrecord", TextUse::Hint, ""},
    {"FM_button_sprecord", "button_sprecord", TextUse::Hint, ""},
    {"FM_button_play", "button_play", TextUse::Hint, ""},
    {"FM_button_pause", "button_pause", TextUse::Hint, ""},
    {"FM_button_stop", "button_stop", TextUse::Hint, ""},
    {"FM_button_copy", "button_copy", TextUse::Hint, ""},
    {"FM_button_paste", "button_paste", TextUse::Hint, ""},
    {"FM_button_convert", "Label_convert", TextUse::Caption, ""},
    {"FM_button_wavedit", "Label_wavedit", TextUse::Caption, ""},
    {"FM_button_email", "Label_email", TextUse::Caption, ""},
    {"FM_button_help", "Label_help", TextUse::Caption, ""},
    {"FM_button_about", "Label_about", TextUse::Caption, ""},
    {"FM_trackbar_wavvolume", "trackbar_wavvolume", TextUse::Hint, ""},
    {"FM_trackbar_position", "trackbar_position", TextUse::Hint, ""},
    {"FM_button_onelevelup", "button_onelabelup", TextUse::Hint, ""},
    {"FM_button_newfolder", "button_newfolder", TextUse::Hint, ""},
    {"FM_button_fileviewtype", "button_fileviewtype", TextUse::Hint, ""},
    {"FM_button_minimize", "button_minimize", TextUse::Hint, ""},
    {"FM_button_maximize", "button_maximize", TextUse::Hint, ""},
    {"FM_button_exit", "button_exit", TextUse::Hint, ""},
    {"FEM_mail_errmsg0", "", TextUse::Message, ""},
    {"FEM_mail_errmsg1", "", TextUse::Message, ""},
    {"FEM_mail_errmsg2", "", TextUse::Message, ""},
    {"FEM_mail_errmsg3", "", TextUse::Message, ""},
    {"FEM_mail_errmsg4", "", TextUse::Message, ""},
    {"FEM_mail_errmsg5", "", TextUse::Message, ""},
    {"FEM_mail_errmsg6", "", TextUse::Message, ""},
};

constexpr CatalogueKey kConversionKeys[] = {
    {"FC_panel_captiontitle", "panel_captiontitle", TextUse::PanelCaption, ""},
    {"FC_label_outputmode", "label_outputmode", TextUse::Caption, ""},
    {"FC_label_outputfolder", "Label_outputfolder", TextUse::Caption, ""},
    {"FC_CheckBox_overwrite", "checkbox_overwrite", TextUse::Caption, ""},
    {"FC_Button_changeoutfolder", "Button_changeoutfolder", TextUse::Caption, ""},
    {"FC_button_go", "button_go", TextUse::Caption, ""},
    {"FC_button_cancel", "button_cancel", TextUse::Caption, ""},
    {"FC_BrowseDlgCaptionTitle", "", TextUse::Message, ""},
    {"FC_BrowseDlgCaption", "", TextUse::Message, ""},
};

constexpr CatalogueKey kProgressKeys[] = {
    {"FP_panel_captiontitle", "Panel_captiontitle", TextUse::PanelCaption, ""},
    {"FP_button_cancel", "button_cancel", TextUse::Caption, "&Cancel"},
};

constexpr CatalogueKey kAboutKeys[] = {
    {"FI_panel_captiontitle", "panel_captiontitle", TextUse::PanelCaption, ""},
    {"FI_button_ok", "Button_ok", TextUse::Caption, "&Ok"},
};

constexpr CatalogueKey kEditorKeys[] = {
    {"FE_panel_captiontitle", "panel_captiontitle", TextUse::PanelCaption, ""},
    {"FE_Panel_filekindup", "Panel_filekindup", TextUse::PanelCaption, ""},
    {"FE_Panel_filekinddown", "Panel_filekinddown", TextUse::PanelCaption, ""},
    {"FE_PUvolumepopupnew", "PUvolumepopupnew", TextUse::Caption, ""},
    {"FE_PUvolumepopupdelete", "PUvolumepopupdelete", TextUse::Caption, ""},
    {"FE_PUMarkerpopupAddMarker", "PUMarkerpopupAddMarker", TextUse::Caption, ""},
    {"FE_PUMarkerpopupdelete", "PUMarkerpopupdelete", TextUse::Caption, ""},
    {"FE_PUMarkerpopupalldelete", "PUMarkerpopupalldelete", TextUse::Caption, ""},
    {"FE_PUSelectionPopupzoom", "PUSelectionPopupzoom", TextUse::Caption, ""},
    {"FE_PUSelectionPopupPlayall", "PUSelectionPopupPlayall", TextUse::Caption, ""},
    {"FE_PUSelectionPopupPlay", "PUSelectionPopupPlay", TextUse::Caption, ""},
    {"FE_PUSelectionPopupStop", "PUSelectionPopupStop", TextUse::Caption, ""},
    {"FE_PUSelectionpopup_marking", "PUSelectionpopup_marking", TextUse::Caption, ""},
    {"FE_PUSelectionpopup_SelectAll", "PUSelectionpopup_SelectAll", TextUse::Caption, ""},
    {"FE_PUSelectionpopup_copy", "PUSelectionpopup_copy", TextUse::Caption, ""},
    {"FE_PUSelectionpopup_cut", "PUSelectionpopup_cut", TextUse::Caption, ""},
    {"FE_PUSelectionpopup_trim", "PUSelectionpopup_trim", TextUse::Caption, ""},
    {"FE_PUSelectionpopup_Paste", "PUSelectionpopup_Paste", TextUse::Caption, ""},
    {"FE_PDUpFile", "PDUpFile", TextUse::Caption, ""},
    {"FE_PDUpOpen", "PDUpOpen", TextUse::Caption, ""},
    {"FE_PDUpClose", "PDUpClose", TextUse::Caption, ""},
    {"FE_PDUpEdit", "PDUpEdit", TextUse::Caption, ""},
    {"FE_PDUpCopy", "PDUpCopy", TextUse::Caption, ""},
    {"FE_PDUpSelectAll", "PDUpSelectAll", TextUse::Caption, ""},
    {"FE_PDUpView", "PDUpView", TextUse::Caption, ""},
    {"FE_PDUpZoom", "PDUpZoom", TextUse::Caption, ""},
    {"FE_PDUpRestoreZoomed", "PDUpRestoreZoomed", TextUse::Caption, ""},
    {"FE_PDDownFile", "PDDownFile", TextUse::Caption, ""},
    {"FE_PDDownOpen", "PDDownOpen", TextUse::Caption, ""},
    {"FE_PDDownSave", "PDDownSave", TextUse::Caption, ""},
    {"FE_PDDownClose", "PDDownClose", TextUse::Caption, ""},
    {"FE_PDDownEdit", "PDDownEdit", TextUse::Caption, ""},
    {"FE_PDDownUndo", "PDDownUndo", TextUse::Caption, ""},
    {"FE_PDDownCopy", "PDDownCopy", TextUse::Caption, ""},
    {"FE_PDDownCut", "PDDownCut", TextUse::Caption, ""},
    {"FE_PDDownTrim", "PDDownTrim", TextUse::Caption, ""},
    {"FE_PDDownPaste", "PDDownPaste", TextUse::Caption, ""},
    {"FE_PDDownSaveSelect", "PDDownSaveSelect", TextUse::Caption, ""},
    {"FE_PDDownSelectAll", "PDDownSelectAll", TextUse::Caption, ""},
    {"FE_PDDownTool", "PDDownTool", TextUse::Caption, ""},
    {"FE_PDDownInsert1Sec", "PDDownInsert1Sec", TextUse::Caption, ""},
    {"FE_PDDownUpVolume", "PDDownUpVolume", TextUse::Caption, ""},
    {"FE_PDDownDownVolume", "PDDownDownVolume", TextUse::Caption, ""},
    {"FE_PDDownResetVolume", "PDDownResetVolume", TextUse::Caption, ""},
    {"FE_PDDownView", "PDDownView", TextUse::Caption, ""},
    {"FE_PDDownZoom", "PDDownZoom", TextUse::Caption, ""},
    {"FE_PDDownRestoreZoomed", "PDDownRestoreZoomed", TextUse::Caption, ""},
    {"FE_button_cancel", "button_Cancel", TextUse::Caption, "Cancel"},
    {"FE_button_play", "button_play", TextUse::Hint, ""},
    {"FE_button_pause", "button_pause", TextUse::Hint, ""},
    {"FE_button_stop", "button_stop", TextUse::Hint, ""},
    {"FE_CheckBox_repeat", "checkbox_repeat", TextUse::Hint, ""},
    {"FE_trackbar_wavvolume", "trackbar_wavvolume", TextUse::Hint, ""},
    {"FE_button_openupfile", "button_openupfile", TextUse::Hint, ""},
    {"FE_button_upclose", "button_upclose", TextUse::Hint, ""},
    {"FE_button_selectallup", "button_selectallup", TextUse::Hint, ""},
    {"FE_button_upblocksave", "button_upblocksave", TextUse::Hint, ""},
    {"FE_button_viewcopy", "button_viewcopy", TextUse::Hint, ""},
    {"FE_button_normalrange", "button_normalrange", TextUse::Hint, ""},
    {"FE_button_opendownfile", "button_opendownfile", TextUse::Hint, ""},
    {"FE_button_downclose", "button_downclose", TextUse::Hint, ""},
    {"FE_button_saveas", "button_saveas", TextUse::Hint, ""},
    {"FE_button_downblocksave", "button_downblocksave", TextUse::Hint, ""},
    {"FE_button_copy", "button_copy", TextUse::Hint, ""},
    {"FE_button_cut", "button_cut", TextUse::Hint, ""},
    {"FE_button_trim", "button_trim", TextUse::Hint, ""},
    {"FE_button_paste", "button_paste", TextUse::Hint, ""},
    {"FE_button_oneblank", "button_oneblank", TextUse::Hint, ""},
    {"FE_button_scaleup", "button_scaleup", TextUse::Hint, ""},
    {"FE_button_scaledown", "button_scaledown", TextUse::Hint, ""},
    {"FE_button_reset", "button_reset", TextUse::Hint, ""},
    {"FE_button_undo", "button_undo", TextUse::Hint, ""},
    {"FE_button_minimize", "button_minimize", TextUse::Hint, ""},
    {"FE_button_maximize", "button_maximize", TextUse::Hint, ""},
    {"FE_button_exit", "button_exit", TextUse::Hint, ""},
    {"FE_wav_msg0", "", TextUse::Message, ""},
    {"FE_wav_msg1", "", TextUse::Message, ""},
    {"FE_wav_msg2", "", TextUse::Message, ""},
    {"FE_wav_msg3", "", TextUse::Message, ""},
    {"FE_wav_msg4", "", TextUse::Message, ""},
    {"FE_wav_msg5", "", TextUse::Message, ""},
    {"FE_wav_msg6", "", TextUse::Message, ""},
    {"FE_wav_msg7", "", TextUse::Message, ""},
    {"FE_wav_msg8", "", TextUse::Message, ""},
    {"FE_wav_msg9", "", TextUse::Message, ""},
    {"FE_wav_msg10", "", TextUse::Message, ""},
    {"FE_wav_msg11", "", TextUse::Message, ""},
    {"FE_wav_msg12", "", TextUse::Message, ""},
    {"FE_wav_msg13", "", TextUse::Message, ""},
    {"FE_wav_msg14", "", TextUse::Message, ""},
    {"FE_wav_msg15", "", TextUse::Message, ""},
    {"FE_wav_msg16", "", TextUse::Message, ""},
    {"FE_wav_msg17", "", TextUse::Message, ""},
};

constexpr std::string_view kMainCharsetControls[] = {
    "label_filename", "edit_directory", "combo_drive", "directory_mycomputer", "file_mycomputer"};
constexpr std::string_view kConversionCharsetControls[] = {
    "panel_captiontitle", "checkbox_overwrite", "button_go", "button_cancel", "Label_outputfolder"};
constexpr std::string_view kProgressCharsetControls[] = {
    "Panel_captiontitle", "button_cancel",  "label_directory", "label_filename",
    "label_targetfilename", "label_filebyte", "label_filecount"};
constexpr std::string_view kAboutCharsetControls[] = {"panel_captiontitle", "Button_ok"};
constexpr std::string_view kEditorCharsetControls[] = {
    "MenuBar_up", "MenuBar_down", "panel_captiontitle", "Panel_filekindup", "Panel_filekinddown",
    "panel_upfilename", "Panel_filename", "StatusFile", "button_Cancel", "Gauge"};

constexpr std::string_view kSelectAllDown[] = {"button_selectall"};
constexpr std::string_view kRestoreZoomUp[] = {"button_normalrangeup"};

}  // namespace

std::span<const CatalogueKey> catalogue_keys(CatalogueWindow window) {
    switch (window) {
    case CatalogueWindow::Main: return kMainKeys;
    case CatalogueWindow::Conversion: return kConversionKeys;
    case CatalogueWindow::Progress: return kProgressKeys;
    case CatalogueWindow::About: return kAboutKeys;
    case CatalogueWindow::Editor: return kEditorKeys;
    }
    return {};
}

std::span<const std::string_view> charset_controls(CatalogueWindow window) {
    switch (window) {
    case CatalogueWindow::Main: return kMainCharsetControls;
    case CatalogueWindow::Conversion: return kConversionCharsetControls;
    case CatalogueWindow::Progress: return kProgressCharsetControls;
    case CatalogueWindow::About: return kAboutCharsetControls;
    case CatalogueWindow::Editor: return kEditorCharsetControls;
    }
    return {};
}

std::span<const std::string_view> extra_controls(std::string_view key) {
    if (key == "FE_button_selectallup") return kSelectAllDown;
    if (key == "FE_button_normalrange") return kRestoreZoomUp;
    return {};
}

std::string WindowTexts::text(std::string_view key) const {
    for (const auto& t : texts)
        if (t.key->key == key) return t.text;
    return {};
}

WindowTexts getmessage_frominifile(CatalogueWindow window) {
    AppState& state = app();
    WindowTexts result;
    result.window = window;
    result.charset = state.charset;
    result.writing_system = charset_info(state.charset).writing_system;
    ProfileFile ini(state.ini_path);
    for (const CatalogueKey& key : catalogue_keys(window)) {
        std::string text = decode_catalogue_text(ini.read_string(kSection, key.key, key.read_default),
                                                 state.charset);
        if (key.use == TextUse::Message)
            state.messages[std::string(key.key)] = text;
        else if (key.use == TextUse::PanelCaption)
            text.insert(0, "  ");
        result.texts.push_back({&key, std::move(text)});
    }
    return result;
}

}  // namespace murrel
