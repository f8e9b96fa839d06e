// SPDX-License-Identifier: LGPL-2.1-or-later
#include "gst/playable_movie_types.h"

#include <gst/gst.h>

#include "gst/media_graph.h"

namespace lumaghost {

namespace {

/// The caps the typefinder of `extension` names, or nullptr (the caller unrefs them).
GstCaps *capsOfExtension(const std::string &extension) {
    GstCaps *found = nullptr;
    GList *finders = gst_type_find_factory_get_list();
    for (GList *f = finders; f && !found; f = f->next) {
        auto *finder = GST_TYPE_FIND_FACTORY(f->data);
        const gchar *const *extensions = gst_type_find_factory_get_extensions(finder);
        for (; extensions && *extensions && !found; ++extensions) {
            if (g_ascii_strcasecmp(*extensions, extension.c_str()) != 0)
                continue;
            if (GstCaps *caps = gst_type_find_factory_get_caps(finder))
                found = gst_caps_ref(caps);
        }
    }
    gst_plugin_feature_list_free(finders);
    return found;
}

/// Whether an installed demuxer, parser or decoder takes `caps` on its input.
bool taken(GstCaps *caps) {
    GList *elements = gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DEMUXER |
                                                                GST_ELEMENT_FACTORY_TYPE_PARSER |
                                                                GST_ELEMENT_FACTORY_TYPE_DECODER,
                                                            GST_RANK_MARGINAL);
    GList *takers = gst_element_factory_list_filter(elements, caps, GST_PAD_SINK, FALSE);
    const bool any = takers != nullptr;
    gst_plugin_feature_list_free(takers);
    gst_plugin_feature_list_free(elements);
    return any;
}

}  // namespace

std::vector<std::string> playableMovieTypes(const std::vector<std::string> &candidates) {
    std::vector<std::string> playable;
    if (!initMediaGraphs())
        return playable;
    for (const std::string &extension : candidates) {
        GstCaps *caps = capsOfExtension(extension);
        if (!caps)
            continue;
        if (taken(caps))
            playable.push_back(extension);
        gst_caps_unref(caps);
    }
    return playable;
}

const std::vector<std::string> &commonMovieTypes() {
    static const std::vector<std::string> types = {"mp4", "m4v",  "mkv", "webm", "mov", "ogv",
                                                   "flv", "3gp",  "ts",  "m2ts", "mts", "vob",
                                                   "mxf", "divx", "dv",  "rm",   "rmvb"};
    return types;
}

const std::vector<std::string> &playableCommonMovieTypes() {
    static const std::vector<std::string> types = playableMovieTypes(commonMovieTypes());
    return types;
}

}  // namespace lumaghost
