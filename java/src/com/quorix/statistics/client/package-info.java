/**
 * A typed client of the Quorix statistics engine.
 *
 * <p>Open a data file ({@link com.quorix.statistics.client.DataFile#open}), name a
 * {@link com.quorix.statistics.client.Run} on it, and call one method of
 * {@link com.quorix.statistics.client.StatisticsClient} per analysis with its option record.
 * Variables are referred to by name or 1-based position
 * ({@link com.quorix.statistics.client.Variable}), cases by 0-based number
 * ({@link com.quorix.statistics.client.CaseSelection}). Each call returns a
 * {@link com.quorix.statistics.client.RunResult} with the paths of the text report, the log and
 * the XML result document, and whether the run succeeded.
 */
package com.quorix.statistics.client;
